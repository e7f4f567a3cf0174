# Installs the build into a fresh prefix and checks that every file a package needs is there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path
        bin/corvix
        share/applications/os.orbelune.Corvix.desktop
        share/metainfo/os.orbelune.Corvix.metainfo.xml
        share/icons/hicolor/scalable/apps/os.orbelune.Corvix.svg
        share/icons/hicolor/symbolic/apps/os.orbelune.Corvix-symbolic.svg
        share/man/man1/corvix.1
        share/corvix/autostart/os.orbelune.Corvix.desktop)
    if(NOT EXISTS ${PREFIX}/${path})
        message(FATAL_ERROR "missing after install: ${path}")
    endif()
endforeach()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(LENGTH installed count)
if(NOT count EQUAL 7)
    message(FATAL_ERROR "install put ${count} files into the prefix, not 7: ${installed}")
endif()
file(REMOVE_RECURSE ${PREFIX})

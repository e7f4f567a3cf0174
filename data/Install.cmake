# What `cmake --install` puts into a prefix: the program, its desktop entry, icons, AppStream
# metainfo, man page, and an autostart entry for users to copy to ~/.config/autostart.
include(GNUInstallDirs)
set(CORVIX_APP_ID os.orbelune.Corvix)
set(CORVIX_DATA ${CMAKE_SOURCE_DIR}/data)

install(TARGETS corvix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CORVIX_DATA}/${CORVIX_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CORVIX_DATA}/${CORVIX_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CORVIX_DATA}/icons/${CORVIX_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CORVIX_DATA}/icons/${CORVIX_APP_ID}-symbolic.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/symbolic/apps)
install(FILES ${CORVIX_DATA}/corvix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CORVIX_DATA}/autostart/${CORVIX_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/corvix/autostart)

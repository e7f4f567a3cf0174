// Corvix: the status-area companion of the Orbelune OS hub.
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/LaunchConfiguration.h"
#include "app/RuntimeDiagnostics.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/RuntimeDirectory.h"
#include "platform/UserDefaults.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/qt/QtAudioService.h"
#include "platform/qt/QtMprisService.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/QtSingleInstance.h"

int main(int argc, char** argv) {
    using namespace corvix;
    // Read before Qt starts, so that --help works without a display.
    const std::string program = argc > 0 && argv[0] ? argv[0] : "corvix";
    const auto request = parseCommandLine(std::vector<std::string>(argv + (argc > 0), argv + argc));
    switch (request.action) {
        case CommandLineRequest::Action::ShowHelp:
            std::fputs(commandLineHelp(program).c_str(), stdout);
            return 0;
        case CommandLineRequest::Action::ShowVersion:
            std::fputs(commandLineVersion().c_str(), stdout);
            return 0;
        case CommandLineRequest::Action::Run:
            break;
    }
    if (const auto notice = ignoredArgumentsNotice(program, request); !notice.empty()) {
        std::fprintf(stderr, "%s\n", notice.c_str());
    }

    // Under Wayland a client can neither place a popup at the pointer nor keep a window above
    // the others; XWayland can, so try it first when the user chose no platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
    }

    chooseQtMediaBackend();

    // Configuration comes from the environment only; Qt reads its own options and nothing else.
    std::vector<std::string> qtArguments{program};
    qtArguments.insert(qtArguments.end(), request.toolkitArguments.begin(),
                       request.toolkitArguments.end());
    std::vector<char*> qtArgv;
    for (auto& argument : qtArguments) {
        qtArgv.push_back(argument.data());
    }
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());
    QApplication app(qtArgc, qtArgv.data());
    QApplication::setApplicationName("Corvix");
    QApplication::setQuitOnLastWindowClosed(false);

    ProcessEnvironment environment;
    // The lock and the socket live where no other user can put a file of theirs in the way.
    const auto runtimeDir = RuntimeDirectory::choose(environment);
    struct RemoveWhenDone {
        std::optional<RuntimeDirectory> dir;
        ~RemoveWhenDone() {
            if (dir && dir->temporary) {
                std::error_code ec;
                std::filesystem::remove_all(dir->path, ec);
            }
        }
    } removeWhenDone{runtimeDir};
    std::optional<QtSingleInstance> instance;
    if (!runtimeDir) {
        std::fprintf(stderr,
                     "%s: no private folder for the single-instance lock; a second start "
                     "will not find this one\n",
                     program.c_str());
    } else {
        if (runtimeDir->temporary) {
            std::fprintf(stderr,
                         "%s: the shared runtime folder is not private to this user; "
                         "a second start will not find this one\n",
                         program.c_str());
        }
        instance.emplace(QString::fromStdString(runtimeDir->path.string()),
                         QtSingleInstance::defaultDisplay());
        // The hub's own start takes the place of a running copy; any other start opens the
        // running copy's menu instead.
        const bool startedByHub = LaunchConfiguration::parentPid(environment) > 0;
        if (!instance->claim(startedByHub)) {
            if (startedByHub) {
                std::fprintf(stderr, "%s: the running Corvix did not hand over; ending\n",
                             program.c_str());
                return 1;
            }
            return 0;
        }
    }

    QtServices qt;
    if (instance) {
        instance->setOnActivate([&qt] { qt.statusBar.openFirstMenu(); });
        // A newer start of the hub's takes over: end without ending the hub (unlike Quit).
        instance->setOnHandOver([&qt] { qt.application.terminate(); });
    }
    JsonFileUserDefaults defaults(JsonFileUserDefaults::defaultPath(environment));
    CurlHttpClient http(qt.runLoop);
    // Media keys and the desktop's media widgets; without a session bus it stays unavailable.
    QtMprisService mpris(qt.runLoop);

    PlatformServices services;
    qt.installInto(services);
    services.http = &http;
    services.defaults = &defaults;
    services.environment = &environment;
    services.mpris = &mpris;
    installPlatformServices(services);

    int status = 0;
    {
        auto delegate = std::make_shared<AppDelegate>();
        qt.application.setDelegate(delegate);
        qt.runLoop.post([delegate] { delegate->applicationDidFinishLaunching(); });
        status = QApplication::exec();
    }
    RuntimeDiagnostics::resetMenuBar();
    installPlatformServices(PlatformServices());
    return status == 0 ? 0 : status;
}

// Corvix: the status-area companion of the Orbelune OS hub.
#include <QApplication>
#include <memory>

#include "app/AppDelegate.h"
#include "app/RuntimeDiagnostics.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/UserDefaults.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/qt/QtServices.h"

int main(int argc, char** argv) {
    using namespace corvix;
    // Configuration comes from the environment only; Qt's own arguments are not offered.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    (void)argc;
    QApplication::setApplicationName("Corvix");
    QApplication::setQuitOnLastWindowClosed(false);

    QtServices qt;
    ProcessEnvironment environment;
    JsonFileUserDefaults defaults(JsonFileUserDefaults::defaultPath(environment));
    CurlHttpClient http(qt.runLoop);

    PlatformServices services;
    qt.installInto(services);
    services.http = &http;
    services.defaults = &defaults;
    services.environment = &environment;
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

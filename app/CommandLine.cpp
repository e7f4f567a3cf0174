#include "app/CommandLine.h"

#ifndef CORVIX_VERSION
#define CORVIX_VERSION "0.0"
#endif

namespace corvix {

CommandLineRequest parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLineRequest request;
    for (const auto& argument : arguments) {
        if (argument == "-h" || argument == "--help") {
            // Help wins over everything after it, as users expect from "cmd --bogus --help".
            return {CommandLineRequest::Action::ShowHelp, {}};
        }
        if (argument == "--version") {
            request.action = CommandLineRequest::Action::ShowVersion;
            continue;
        }
        if (request.action != CommandLineRequest::Action::Fail) {
            request.action = CommandLineRequest::Action::Fail;
            request.error = argument.rfind('-', 0) == 0 ? "unknown option '" + argument + "'"
                                                        : "unexpected argument '" + argument + "'";
        }
    }
    return request;
}

std::string commandLineHelp(const std::string& program) {
    return "Usage: " + program +
           " [--help] [--version]\n"
           "\n"
           "Corvix: a tray companion for the Orbelune OS hub on this computer.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Show this help and exit.\n"
           "      --version  Show the version and exit.\n"
           "\n"
           "Corvix is configured through the environment:\n"
           "  ORBELUNE_MAC_CONTROL_BASE_URL    the hub's mac-control API\n"
           "                                   (default http://127.0.0.1:8080/app/os/mac-control)\n"
           "  ORBELUNE_MAC_CONTROL_TOKEN_FILE  the file holding the access token\n"
           "  ORBELUNE_MAC_CONTROL_APP_GROUP   the shared container holding the token\n"
           "  ORBELUNE_DASHBOARD_URL           what \"Open Orbelune OS\" opens\n"
           "                                   (default http://127.0.0.1:8080/os)\n"
           "  ORBELUNE_PARENT_PID              quit when this process ends\n"
           "  ORBELUNE_MENUBAR_ICON_PATH       the tray icon image\n"
           "  ORBELUNE_MENUBAR_ICON_TEMPLATE   \"false\" to show that image in its own colours\n"
           "  ORBELUNE_RUNTIME_DIAGNOSTICS     \"1\" to keep runtime diagnostics\n"
           "\n"
           "A second start on the same display opens the running Corvix's menu.\n";
}

std::string commandLineVersion() {
    return std::string("Corvix ") + CORVIX_VERSION + "\n";
}

}  // namespace corvix

#include "app/CommandLine.h"

#include <cstddef>
#include <string_view>

#ifndef CORVIX_VERSION
#define CORVIX_VERSION "0.0"
#endif

namespace corvix {

namespace {

// The options Qt's application objects read themselves (also written with two dashes), and
// whether the next argument is the option's value.
struct ToolkitOption {
    std::string_view name;
    bool takesValue;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"-platform", true},        {"-platformpluginpath", true},
    {"-platformtheme", true},   {"-plugin", true},
    {"-qwindowgeometry", true}, {"-qwindowicon", true},
    {"-qwindowtitle", true},    {"-session", true},
    {"-display", true},         {"-geometry", true},
    {"-style", true},           {"-stylesheet", true},
    {"-reverse", false},        {"-widgetcount", false},
    {"-nograb", false},         {"-dograb", false},
};
// Options Qt also takes as "-name=value".
constexpr std::string_view kToolkitOptionsWithEquals[] = {
    "-style=", "-stylesheet=", "-qmljsdebugger="};

const ToolkitOption* toolkitOption(std::string_view argument) {
    if (argument.starts_with("--")) {
        argument.remove_prefix(1);
    }
    for (const auto& option : kToolkitOptions) {
        if (argument == option.name) {
            return &option;
        }
    }
    return nullptr;
}

bool isToolkitOptionWithValue(std::string_view argument) {
    if (argument.starts_with("--")) {
        argument.remove_prefix(1);
    }
    for (auto prefix : kToolkitOptionsWithEquals) {
        if (argument.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

}  // namespace

CommandLineRequest parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLineRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            // Help wins over everything after it, as users expect from "cmd --bogus --help".
            return {CommandLineRequest::Action::ShowHelp, {}, {}};
        }
        if (argument == "--version") {
            request.action = CommandLineRequest::Action::ShowVersion;
            continue;
        }
        if (const auto* option = toolkitOption(argument)) {
            request.toolkitArguments.push_back(argument);
            if (option->takesValue && i + 1 < arguments.size()) {
                request.toolkitArguments.push_back(arguments[++i]);
            }
            continue;
        }
        if (isToolkitOptionWithValue(argument)) {
            request.toolkitArguments.push_back(argument);
            continue;
        }
        request.ignored.push_back(argument);
    }
    return request;
}

std::string ignoredArgumentsNotice(const std::string& program, const CommandLineRequest& request) {
    if (request.ignored.empty()) {
        return {};
    }
    std::string list;
    for (const auto& argument : request.ignored) {
        list += (list.empty() ? "'" : ", '") + argument + "'";
    }
    return program + ": ignoring " + list +
           " (Corvix is configured through the environment; see --help)";
}

std::string commandLineHelp(const std::string& program) {
    return "Usage: " + program +
           " [--help] [--version] [Qt options]\n"
           "\n"
           "Corvix: a tray companion for the Orbelune OS hub on this computer.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Show this help and exit.\n"
           "      --version  Show the version and exit.\n"
           "Qt's own options (-platform, -display, -style, ...) are passed on to Qt;\n"
           "any other argument is ignored.\n"
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

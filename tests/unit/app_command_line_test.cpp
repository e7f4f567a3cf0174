#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace corvix {
namespace {

using Action = CommandLineRequest::Action;

TEST(CommandLine, OffersHelpAndVersionOnlyAndNamesWhatIsWrong) {
    struct Case {
        std::vector<std::string> arguments;
        Action action;
        std::string error;
    };
    const Case cases[] = {
        {{}, Action::Run, ""},
        {{"--help"}, Action::ShowHelp, ""},
        {{"-h"}, Action::ShowHelp, ""},
        {{"--version"}, Action::ShowVersion, ""},
        // Help wins wherever it stands; anything else unknown is refused, the first one named.
        {{"--bogus", "--help"}, Action::ShowHelp, ""},
        {{"--version", "--bogus"}, Action::Fail, "unknown option '--bogus'"},
        {{"-platform", "xcb"}, Action::Fail, "unknown option '-platform'"},
        {{"extra"}, Action::Fail, "unexpected argument 'extra'"},
        {{"--help=1"}, Action::Fail, "unknown option '--help=1'"},
    };
    for (const auto& c : cases) {
        const auto request = parseCommandLine(c.arguments);
        EXPECT_EQ(request.action, c.action) << testing::PrintToString(c.arguments);
        EXPECT_EQ(request.error, c.error) << testing::PrintToString(c.arguments);
    }
}

TEST(CommandLine, HelpNamesEveryEnvironmentVariable) {
    const auto help = commandLineHelp("corvix");
    EXPECT_EQ(help.rfind("Usage: corvix ", 0), 0u);
    for (const char* name : {"ORBELUNE_MAC_CONTROL_BASE_URL", "ORBELUNE_MAC_CONTROL_TOKEN_FILE",
                             "ORBELUNE_MAC_CONTROL_APP_GROUP", "ORBELUNE_DASHBOARD_URL",
                             "ORBELUNE_PARENT_PID", "ORBELUNE_MENUBAR_ICON_PATH",
                             "ORBELUNE_MENUBAR_ICON_TEMPLATE", "ORBELUNE_RUNTIME_DIAGNOSTICS"}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace corvix

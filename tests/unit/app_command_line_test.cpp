#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace corvix {
namespace {

using Action = CommandLineRequest::Action;

using Arguments = std::vector<std::string>;

TEST(CommandLine, OffersHelpAndVersionPassesQtItsOptionsAndIgnoresTheRest) {
    struct Case {
        Arguments arguments;
        Action action;
        Arguments toolkit;
        Arguments ignored;
    };
    const Case cases[] = {
        {{}, Action::Run, {}, {}},
        {{"--help"}, Action::ShowHelp, {}, {}},
        {{"-h"}, Action::ShowHelp, {}, {}},
        {{"--version"}, Action::ShowVersion, {}, {}},
        // Help wins wherever it stands; an unknown argument stops neither help nor the version.
        {{"--bogus", "--help"}, Action::ShowHelp, {}, {}},
        {{"--frobnicate", "--version"}, Action::ShowVersion, {}, {"--frobnicate"}},
        // Qt's options keep their values, in either spelling, and are not taken for ours.
        {{"-platform", "offscreen"}, Action::Run, {"-platform", "offscreen"}, {}},
        {{"--display", ":1", "-style=fusion", "-reverse"},
         Action::Run,
         {"--display", ":1", "-style=fusion", "-reverse"},
         {}},
        {{"-qwindowgeometry", "100x100+0+0", "--help"}, Action::ShowHelp, {}, {}},
        {{"foo", "-platform", "--version", "--help=1", "-platform"},
         Action::Run,
         {"-platform", "--version", "-platform"},
         {"foo", "--help=1"}},
    };
    for (const auto& c : cases) {
        const auto request = parseCommandLine(c.arguments);
        EXPECT_EQ(request.action, c.action) << testing::PrintToString(c.arguments);
        if (c.action == Action::Run) {
            EXPECT_EQ(request.toolkitArguments, c.toolkit) << testing::PrintToString(c.arguments);
        }
        EXPECT_EQ(request.ignored, c.ignored) << testing::PrintToString(c.arguments);
    }
}

TEST(CommandLine, IgnoredArgumentsAreNamedOnOneLine) {
    EXPECT_EQ(ignoredArgumentsNotice("corvix", parseCommandLine({"-platform", "xcb"})), "");
    const auto notice = ignoredArgumentsNotice("corvix", parseCommandLine({"foo", "--bar"}));
    EXPECT_EQ(notice.rfind("corvix: ignoring 'foo', '--bar' ", 0), 0u) << notice;
    EXPECT_EQ(notice.find('\n'), std::string::npos);
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

#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "controls/ActionView.h"
#include "controls/MusicPanelView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "platform/ui/ImageView.h"

namespace corvix {
namespace {

using testing::findSubview;
using testing::itemTitled;
using testing::labelTexts;
using testing::MenuHarness;
using testing::stateFromText;
using Lines = std::vector<std::string>;

constexpr const char* kRunBody = R"({"source":"native-menubar","confirm":true})";

/// A hub answer that says the run failed with `message`.
std::string refusal(std::string_view message) {
    return R"({"status":false,"message":")" + std::string(message) + "\"}";
}

class MenuAutomationItemsTest : public ::testing::Test {
  protected:
    void SetUp() override { menu.build("automations-without-rooms.json"); }

    MenuItem* row(std::string_view submenu, std::string_view title) {
        StayOpenMenu* parent = menu.submenu(submenu);
        return parent ? itemTitled(*parent, title) : nullptr;
    }
    /// The row's labels, read afresh: every step of a run rebuilds the menu.
    Lines texts(std::string_view submenu, std::string_view title) {
        MenuItem* item = row(submenu, title);
        return item ? labelTexts(*item->view()) : Lines{"<missing>"};
    }
    void clickRow(std::string_view submenu, std::string_view title) {
        testing::clickView(row(submenu, title)->view());
    }
    void flipSwitch(std::string_view submenu, std::string_view title) {
        auto* toggle = findSubview<OrbeluneToggleSwitch>(*row(submenu, title)->view());
        testing::clickView(toggle->shared_from_this());
    }
    std::shared_ptr<FakeHttpClient::Transfer> lastRequest() { return menu.platform.http.last(); }
    void answer(int status, std::string body) {
        menu.platform.http.respond(lastRequest(), status, std::move(body));
        menu.platform.loop.runUntilIdle();
    }

    MenuHarness menu;
};

TEST_F(MenuAutomationItemsTest, RunRowsCarryTheRunBadge) {
    const struct {
        const char* title;
        Lines labels;
        double height;
        double iconY;
        double titleY;
        double badgeY;
    } cases[] = {
        {"Good Morning", {"Good Morning", "Active", "Run"}, 42, 13, 12, 12},
        {"Good Night", {"Good Night", "Inactive", "Run"}, 42, 13, 12, 12},
        {"Dinner", {"Dinner", "Run"}, 32, 8, 7, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        MenuItem* item = row("Scenes", c.title);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->isEnabled());
        auto* view = dynamic_cast<ActionView*>(item->view().get());
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->frame(), Rect(0, 0, 326, c.height));
        EXPECT_EQ(view->alphaValue(), 1);
        EXPECT_EQ(view->cornerRadius(), 8);
        EXPECT_EQ(view->accessibilityRole(), AccessibilityRole::Button);
        EXPECT_EQ(view->accessibilityLabel(), std::string("Run ") + c.title + " scene");
        EXPECT_EQ(labelTexts(*view), c.labels);
        EXPECT_EQ(findSubview<ImageView>(*view)->frame(), Rect(14, c.iconY, 16, 16));
        EXPECT_EQ(findSubview<ImageView>(*view)->image()->symbol()->name, "sparkles");
        EXPECT_EQ(findSubview<TextField>(*view)->frame(), Rect(40, c.titleY, 208, 17));

        auto* badge = findSubview<MusicPanelView>(*view);
        ASSERT_NE(badge, nullptr);
        EXPECT_EQ(badge->frame(), Rect(256, c.badgeY, 56, 18));
        EXPECT_EQ(badge->cornerRadius, 9);
        EXPECT_EQ(badge->inset, EdgeInsets{});
        const auto& runLabel = *view->subviews().back();
        EXPECT_EQ(runLabel.frame(), Rect(281, c.badgeY + 3, 25, 12));
        EXPECT_EQ(dynamic_cast<const TextField&>(runLabel).font(),
                  Font::system(9, FontWeight::Semibold));
    }
}

TEST_F(MenuAutomationItemsTest, SwitchableAvFlowsAreToggleRows) {
    MenuItem* item = row("AV Flow", "Cinema Mode");
    ASSERT_NE(item, nullptr);
    const View& view = *item->view();
    EXPECT_EQ(dynamic_cast<const ActionView*>(&view), nullptr);
    EXPECT_EQ(view.frame(), Rect(0, 0, 326, 32));
    EXPECT_EQ(labelTexts(view), Lines{"Cinema Mode"});
    auto* toggle = findSubview<OrbeluneToggleSwitch>(view);
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(toggle->frame(), Rect(268, 4, 44, 24));
    EXPECT_TRUE(toggle->isOn());
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_EQ(toggle->accessibilityLabel(), "Cinema Mode AV Flow");
}

TEST_F(MenuAutomationItemsTest, ASceneRunShowsRunningThenSucceedsAndRefreshes) {
    clickRow("Scenes", "Dinner");

    ASSERT_EQ(menu.platform.http.transfers().size(), 1u);
    EXPECT_EQ(lastRequest()->request.method, "POST");
    EXPECT_TRUE(lastRequest()->request.url.ends_with("/items/item-dinner/run"));
    EXPECT_EQ(lastRequest()->request.body, kRunBody);

    // Pending at once: dimmed, disabled, no action, taller for its status line.
    MenuItem* pending = row("Scenes", "Dinner");
    EXPECT_FALSE(pending->isEnabled());
    EXPECT_EQ(pending->view()->alphaValue(), 0.62);
    EXPECT_EQ(pending->view()->frame().height(), 42);
    EXPECT_EQ(texts("Scenes", "Dinner"), (Lines{"Dinner", "Running.", "Run"}));
    clickRow("Scenes", "Dinner");
    EXPECT_EQ(menu.platform.http.transfers().size(), 1u);

    answer(200, R"({"status":true})");
    EXPECT_EQ(texts("Scenes", "Dinner"), (Lines{"Dinner", "Run"}));
    EXPECT_TRUE(row("Scenes", "Dinner")->isEnabled());
    EXPECT_EQ(menu.refreshes, 1);
    EXPECT_TRUE(menu.builder->pendingControlIds.empty());
    EXPECT_TRUE(menu.alerts.shown.empty());
}

TEST_F(MenuAutomationItemsTest, AnUnsupportedRunRefreshesQuietly) {
    clickRow("Scenes", "Good Morning");
    answer(200, refusal("unsupported action"));

    EXPECT_EQ(texts("Scenes", "Good Morning"), (Lines{"Good Morning", "Active", "Run"}));
    EXPECT_TRUE(menu.builder->failedControlMessages.empty());
    EXPECT_EQ(menu.refreshes, 1);
    EXPECT_TRUE(menu.alerts.shown.empty());
}

TEST_F(MenuAutomationItemsTest, AFailedRunShowsFailedUntilRunAgain) {
    clickRow("Scenes", "Good Morning");
    answer(200, refusal("Scene engine stopped"));

    EXPECT_EQ(texts("Scenes", "Good Morning"), (Lines{"Good Morning", "Failed", "Run"}));
    EXPECT_TRUE(row("Scenes", "Good Morning")->isEnabled());
    EXPECT_EQ(menu.builder->failedControlMessages.at("item-morning"), "Scene engine stopped");
    EXPECT_EQ(menu.refreshes, 0);
    ASSERT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.alerts.shown[0].messageText, "Command failed");
    EXPECT_EQ(menu.alerts.shown[0].informativeText, "Scene engine stopped");

    clickRow("Scenes", "Good Morning");
    EXPECT_EQ(texts("Scenes", "Good Morning"), (Lines{"Good Morning", "Running.", "Run"}));
    EXPECT_TRUE(menu.builder->failedControlMessages.empty());
    answer(200, "{}");
    EXPECT_EQ(texts("Scenes", "Good Morning"), (Lines{"Good Morning", "Active", "Run"}));
}

TEST_F(MenuAutomationItemsTest,
       AnAvFlowSwitchedOffSendsItsDesiredStateAndExplainsAMissingOffScript) {
    flipSwitch("AV Flow", "Cinema Mode");

    EXPECT_TRUE(lastRequest()->request.url.ends_with("/items/item-cinema/run"));
    EXPECT_EQ(lastRequest()->request.body,
              R"({"source":"native-menubar","confirm":true,"desiredState":false})");
    // Pending: the switch still shows the document's state, and cannot be used.
    auto* toggle = findSubview<OrbeluneToggleSwitch>(*row("AV Flow", "Cinema Mode")->view());
    EXPECT_TRUE(toggle->isOn());
    EXPECT_FALSE(toggle->isEnabled());
    EXPECT_EQ(toggle->frame(), Rect(268, 9, 44, 24));
    EXPECT_EQ(row("AV Flow", "Cinema Mode")->view()->alphaValue(), 0.62);
    EXPECT_EQ(texts("AV Flow", "Cinema Mode"), (Lines{"Cinema Mode", "Running."}));

    answer(200, refusal("AV flow has no off script"));
    EXPECT_EQ(texts("AV Flow", "Cinema Mode"), (Lines{"Cinema Mode", "Failed"}));
    ASSERT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.alerts.shown[0].messageText, "Off action is not configured");
}

TEST_F(MenuAutomationItemsTest, ATransportFailureIsRememberedAndShown) {
    clickRow("Scenes", "Dinner");
    menu.platform.http.respond(
        lastRequest(), Error{kUrlErrorDomain, kUrlErrorCannotConnectToHost, "Connection refused"});
    menu.platform.loop.runUntilIdle();

    EXPECT_EQ(texts("Scenes", "Dinner"), (Lines{"Dinner", "Failed", "Run"}));
    ASSERT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.alerts.shown[0].messageText, "Orbelune OS is not reachable");
}

TEST_F(MenuAutomationItemsTest, ACancelledRunEndsSilently) {
    clickRow("Scenes", "Dinner");
    menu.platform.http.respond(lastRequest(), cancellationError());
    menu.platform.loop.runUntilIdle();

    EXPECT_EQ(texts("Scenes", "Dinner"), (Lines{"Dinner", "Run"}));
    EXPECT_TRUE(menu.builder->pendingControlIds.empty());
    EXPECT_TRUE(menu.builder->failedControlMessages.empty());
    EXPECT_TRUE(menu.alerts.shown.empty());
    EXPECT_EQ(menu.refreshes, 0);
}

TEST_F(MenuAutomationItemsTest, AnItemWithoutIdIsNotRun) {
    auto state = stateFromText(R"({"programScenes": [
        {"programId": "prog-lights", "label": "Lights Out", "programBuilderType": "scene"},
        {"id": null, "programId": "prog-null", "label": "Null Id", "programBuilderType": "scene"}
    ]})");
    menu.builder->build(*menu.root, state);
    const std::size_t builds = RuntimeDiagnostics::menuBar().recentEvents().size();

    for (const char* title : {"Lights Out", "Null Id"}) {
        SCOPED_TRACE(title);
        clickRow("Scenes", title);
        EXPECT_TRUE(menu.platform.http.transfers().empty());
        EXPECT_EQ(RuntimeDiagnostics::menuBar().recentEvents().size(), builds);  // no rebuild
    }
    EXPECT_TRUE(menu.builder->pendingControlIds.empty());

    // A row keyed by "programId" still shows that key's remembered failure.
    menu.builder->failedControlMessages["prog-lights"] = "earlier failure";
    menu.builder->build(*menu.root, state);
    EXPECT_EQ(texts("Scenes", "Lights Out"), (Lines{"Lights Out", "Failed", "Run"}));
}

TEST_F(MenuAutomationItemsTest, ARunEndingWhileAPlaceholderIsShownDoesNotRebuild) {
    clickRow("Scenes", "Dinner");
    menu.builder->buildOffline(*menu.root, "Timed out");
    answer(200, "{}");

    EXPECT_EQ(menu.root->itemAt(0)->title(), "Orbelune OS is not reachable");
    EXPECT_TRUE(menu.builder->pendingControlIds.empty());
    EXPECT_EQ(menu.refreshes, 1);
}

TEST_F(MenuAutomationItemsTest, ARunEndingAfterTheBuilderIsGoneDoesNothing) {
    clickRow("Scenes", "Dinner");
    menu.builder.reset();
    answer(200, refusal("Scene engine stopped"));
    EXPECT_TRUE(menu.alerts.shown.empty());
    EXPECT_EQ(menu.refreshes, 0);
}

TEST_F(MenuAutomationItemsTest, RowsShowANewerDocumentInPlace) {
    MenuItem* morning = row("Scenes", "Good Morning");
    MenuItem* dinner = row("Scenes", "Dinner");
    MenuItem* cinema = row("AV Flow", "Cinema Mode");
    const auto morningView = morning->view();
    const auto cinemaView = cinema->view();
    auto* cinemaSwitch = findSubview<OrbeluneToggleSwitch>(*cinemaView);

    ASSERT_TRUE(menu.builder->updateRows(stateFromText(R"({
        "avFlows": [{"id": "item-cinema", "programId": "prog-cinema", "label": "Cinema Mode",
                     "builderType": "AV-Flow", "toggle": {"capable": true, "isOn": false}}],
        "programScenes": [
          {"id": "item-morning", "programId": "prog-morning", "label": "Good Morning",
           "programBuilderType": "scene", "scene": {"active": false}},
          {"id": "item-dinner", "programId": "prog-dinner", "label": "Dinner",
           "programBuilderType": "scene", "scene": {"active": true}},
          {"id": "item-night", "programId": "prog-night", "name": "Good Night",
           "programBuilderType": "scene", "scene": {"active": false}}]})")));

    // Same rows, same views, new values.
    EXPECT_EQ(row("Scenes", "Good Morning"), morning);
    EXPECT_EQ(morning->view(), morningView);
    EXPECT_EQ(labelTexts(*morningView), (Lines{"Good Morning", "Inactive", "Run"}));
    EXPECT_EQ(cinema->view(), cinemaView);
    EXPECT_FALSE(cinemaSwitch->isOn());
    // A status line that appears needs the taller layout: a fresh view in the same row.
    EXPECT_EQ(row("Scenes", "Dinner"), dinner);
    EXPECT_EQ(dinner->view()->frame().height(), 42);
    EXPECT_EQ(labelTexts(*dinner->view()), (Lines{"Dinner", "Active", "Run"}));
    clickRow("Scenes", "Dinner");
    EXPECT_TRUE(lastRequest()->request.url.ends_with("/items/item-dinner/run"));
}

}  // namespace
}  // namespace corvix

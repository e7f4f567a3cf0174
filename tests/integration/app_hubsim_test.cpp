// The program's core against the hub simulator over loopback: the real curl client, the real
// event stream, the headless user interface.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "../unit/MenuTestSupport.h"
#include "HubsimTestSupport.h"
#include "app/AppDelegate.h"
#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/MediaAppModeControl.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "menu/MediaAppGridView.h"
#include "menu/StayOpenMenu.h"
#include "platform/ThreadRunLoop.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/testing/HeadlessUiServices.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::outline;

constexpr const char* kToken = "app-hubsim-token";

class AppAgainstHubsimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hubsim::ServerOptions options;
        options.token = kToken;
        hub = std::make_unique<hubsim::Server>(options);
        ASSERT_TRUE(hub->start()) << hub->lastError();
        dir = testing::pointAtHub(*hub, kToken, "corvix-app-hubsim", environment);
        environment.set("ORBELUNE_RUNTIME_DIAGNOSTICS", "1");

        previous = platformServices();
        PlatformServices services;
        services.runLoop = &loop;
        services.http = http.get();
        services.defaults = &defaults;
        services.environment = &environment;
        ui.installInto(services);
        installPlatformServices(services);
        RuntimeDiagnostics::resetMenuBar();
    }

    void TearDown() override {
        if (delegate) {
            application.terminate();
            delegate.reset();
        }
        http.reset();
        hub->stop();
        RuntimeDiagnostics::resetMenuBar();
        installPlatformServices(previous);
        std::filesystem::remove_all(dir);
    }

    void launch() {
        delegate = std::make_shared<AppDelegate>();
        application.setDelegate(delegate);
        delegate->applicationDidFinishLaunching();
    }

    bool menuShows(const std::string& line) const {
        auto lines = outline(*delegate->menu());
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::int64_t counter(const char* name) const {
        auto counters = RuntimeDiagnostics::menuBar().counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }

    ThreadRunLoop loop;
    std::unique_ptr<CurlHttpClient> http = std::make_unique<CurlHttpClient>(loop);
    InMemoryUserDefaults defaults;
    MapEnvironment environment;
    HeadlessUiServices ui;
    RecordingAlertPresenter& alerts = ui.alerts;
    RecordingWorkspace& workspace = ui.workspace;
    HeadlessStatusBar& statusBar = ui.statusBar;
    HeadlessApplication& application = ui.application;
    FakeProcessControl& processes = ui.processes;
    std::unique_ptr<hubsim::Server> hub;
    std::filesystem::path dir;
    std::shared_ptr<AppDelegate> delegate;
    PlatformServices previous;
};

TEST_F(AppAgainstHubsimTest, LaunchBuildsTheMenuAndASceneRunComesBackThroughTheStream) {
    launch();
    ASSERT_TRUE(loop.runUntil([&] { return menuShows("Rooms (disabled)"); }, 10s))
        << ::testing::PrintToString(outline(*delegate->menu()));
    EXPECT_TRUE(menuShows("Scenes >"));
    EXPECT_TRUE(menuShows("Refresh"));

    // Run the first scene from its row in the "Scenes" submenu, as a click on it does.
    MenuItem* scenes = testing::itemTitled(*delegate->menu(), "Scenes");
    ASSERT_TRUE(scenes && scenes->submenu());
    std::shared_ptr<View> row;
    for (const auto& item : scenes->submenu()->itemArray()) {
        if (item->view() && item->isEnabled() && !item->title().empty() &&
            item->title() != "Scenes") {
            row = item->view();
            break;
        }
    }
    ASSERT_TRUE(row);
    // The menu is open while the user clicks, so refreshes are spaced by one second.
    delegate->menuWillOpen(*delegate->menu());
    ASSERT_TRUE(loop.runUntil([&] { return counter("refresh_completed") >= 2; }, 5s));
    const auto completed = counter("refresh_completed");
    const auto events = counter("state_stream_event");
    testing::clickView(row);

    // Wait for the run request itself: the simulator announces a change before it records the
    // request, and its music may announce changes of its own at any time.
    auto ranItem = [&] {
        for (const auto& request : hub->requests()) {
            if (request.segments.size() == 3 && request.segments[0] == "items" &&
                request.segments[2] == "run" && request.status == 200) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(loop.runUntil(ranItem, 5s));
    // The hub changed, and its event brought a refresh without anyone asking.
    EXPECT_TRUE(loop.runUntil([&] { return counter("refresh_completed") > completed; }, 5s));
    EXPECT_TRUE(loop.runUntil([&] { return counter("state_stream_event") > events; }, 5s));
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(AppAgainstHubsimTest, AWallSwitchChangeReachesTheOpenMenusRowThroughTheStream) {
    launch();
    ASSERT_TRUE(loop.runUntil([&] { return menuShows("Bedroom >"); }, 10s));
    delegate->menuWillOpen(*delegate->menu());
    ASSERT_TRUE(loop.runUntil([&] { return counter("refresh_completed") >= 2; }, 5s));
    // Looked up after every wait: a refresh may replace the menu's items meanwhile.
    auto blanket = [&]() -> MenuItem* {
        MenuItem* bedroom = testing::itemTitled(*delegate->menu(), "Bedroom");
        return bedroom && bedroom->submenu()
                   ? testing::itemTitled(*bedroom->submenu(), "Electric Blanket")
                   : nullptr;
    };
    auto blanketIsOn = [&] {
        MenuItem* row = blanket();
        auto* toggle =
            row && row->view() ? testing::findSubview<OrbeluneToggleSwitch>(*row->view()) : nullptr;
        return toggle && toggle->isOn();
    };
    ASSERT_NE(blanket(), nullptr);
    ASSERT_FALSE(blanketIsOn());
    const auto rebuilds = counter("menu_full_rebuild");
    const auto shownView = blanket()->view();
    // The change must come through the stream, so wait until the hub has it open.
    ASSERT_TRUE(loop.runUntil([&] { return hub->openStreams() > 0; }, 5s));

    // Someone switches the blanket on at the wall: the hub announces it, the menu follows.
    httplib::Client wall("127.0.0.1", hub->port());
    auto res = wall.Post("/hubsim/devices/switch-blanket", R"({"power":{"isOn":true}})",
                         "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
    ASSERT_TRUE(loop.runUntil(blanketIsOn, 5s));
    // The same row in the same menu: updated in place, not rebuilt.
    ASSERT_NE(blanket(), nullptr);
    EXPECT_EQ(blanket()->view(), shownView);
    EXPECT_EQ(counter("menu_full_rebuild"), rebuilds);
    EXPECT_GT(counter("rows_updated_in_place"), 0);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(AppAgainstHubsimTest, AMediaDeviceWithoutARemoteLayoutShowsEveryButtonUnavailable) {
    launch();
    ASSERT_TRUE(loop.runUntil([&] { return menuShows("Kitchen Radio >"); }, 10s))
        << ::testing::PrintToString(outline(*delegate->menu()));
    MenuItem* radio = testing::itemTitled(*delegate->menu(), "Kitchen Radio");
    ASSERT_TRUE(radio && radio->submenu());
    Menu& submenu = *radio->submenu();
    // The header and the remote; no "More" grid and no mode switch.
    EXPECT_EQ(outline(submenu), (std::vector<std::string>{"Kitchen Radio", "Remote"}));
    MenuItem* header = testing::itemTitled(submenu, "Kitchen Radio");
    ASSERT_TRUE(header && header->view());
    EXPECT_EQ(testing::labelTexts(*header->view()),
              (std::vector<std::string>{"Kitchen Radio", "Morning News \u2022 Playing"}));
    MenuItem* remote = testing::itemTitled(submenu, "Remote");
    ASSERT_TRUE(remote && remote->view());
    std::vector<std::string> tips;
    for (const auto& view : remote->view()->subviews()) {
        if (dynamic_cast<ActionView*>(view.get())) {
            tips.push_back(view->toolTip());
        }
    }
    EXPECT_EQ(tips, (std::vector<std::string>{
                        "Home unavailable", "Menu unavailable", "Command unavailable",
                        "Command unavailable", "OK unavailable", "Command unavailable",
                        "Command unavailable", "Back unavailable", "Command unavailable",
                        "Command unavailable", "Command unavailable", "Command unavailable",
                        "Command unavailable", "Command unavailable"}));
    // A button without a command sends nothing; the header's switch runs the off item.
    hub->clearRequests();
    for (const auto& view : remote->view()->subviews()) {
        if (dynamic_cast<ActionView*>(view.get())) {
            testing::clickView(view);
        }
    }
    auto* power = testing::findSubview<OrbeluneToggleSwitch>(*header->view());
    ASSERT_TRUE(power && power->isOn());
    testing::clickView(power->shared_from_this());
    auto ranOff = [&] {
        for (const auto& request : hub->requests()) {
            if (request.segments == std::vector<std::string>{"items", "radio-kitchen/off", "run"}) {
                return request.status == 200;
            }
        }
        return false;
    };
    ASSERT_TRUE(loop.runUntil(ranOff, 5s));
    for (const auto& request : hub->requests()) {
        EXPECT_TRUE(request.segments.empty() || request.segments[0] != "devices") << request.target;
    }
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(AppAgainstHubsimTest, RefreshAppsShowsTheListTheAppleTvHasNow) {
    launch();
    ASSERT_TRUE(loop.runUntil([&] { return menuShows("Living Room Apple TV >"); }, 10s));
    delegate->menuWillOpen(*delegate->menu());
    ASSERT_TRUE(loop.runUntil([&] { return counter("refresh_completed") >= 2; }, 5s));
    // Looked up each time: a rebuild of the menu makes new submenus (the mode is kept).
    auto submenu = [&]() -> Menu* {
        MenuItem* atv = testing::itemTitled(*delegate->menu(), "Living Room Apple TV");
        return atv ? atv->submenu().get() : nullptr;
    };
    auto row = [&](std::string_view title) -> std::shared_ptr<View> {
        MenuItem* item = submenu() ? testing::itemTitled(*submenu(), title) : nullptr;
        return item ? item->view() : nullptr;
    };
    auto grid = [&] { return dynamic_cast<MediaAppGridView*>(row("Apps").get()); };
    auto shown = [&] { return submenu() ? outline(*submenu()) : std::vector<std::string>{}; };
    ASSERT_TRUE(row("Remote / Apps"));
    testing::clickView(row("Remote / Apps"), {246, 19});
    ASSERT_TRUE(loop.runUntil([&] { return grid() != nullptr; }, 5s))
        << ::testing::PrintToString(shown());
    EXPECT_NE(grid()->tile("com.example.streamflix"), nullptr);
    const auto appLists = [&] {
        int count = 0;
        for (const auto& request : hub->requests()) {
            count += request.segments.size() == 3 && request.segments[2] == "apps" ? 1 : 0;
        }
        return count;
    };
    ASSERT_EQ(appLists(), 1);

    // Apps installed and removed on the device: the list shown stays until asked again.
    httplib::Client device("127.0.0.1", hub->port());
    auto res = device.Post("/hubsim/devices/atv%2Fliving-room/apps",
                           R"([{"id":"com.example.new","name":"New App",
                                "iconUrl":"{origin}/media-services/app-icons/new.png"},
                               {"id":"com.apple.TVMusic","name":"Music"}])",
                           "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
    EXPECT_NE(grid()->tile("com.example.streamflix"), nullptr);
    EXPECT_EQ(appLists(), 1);

    ASSERT_TRUE(row("Refresh Apps"));
    testing::clickView(row("Refresh Apps"));
    ASSERT_TRUE(loop.runUntil([&] { return grid() && grid()->appIds().size() == 2; }, 5s))
        << ::testing::PrintToString(shown());
    EXPECT_EQ(grid()->appIds(), (std::vector<std::string>{"com.example.new", "com.apple.TVMusic"}));
    EXPECT_EQ(appLists(), 2);
    // The new app's icon is downloaded into its tile; the system app keeps its symbol.
    EXPECT_TRUE(loop.runUntil(
        [&] { return grid() && grid()->tile("com.example.new")->model().image; }, 5s));
    EXPECT_FALSE(grid()->tile("com.apple.TVMusic")->model().image);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(AppAgainstHubsimTest, HubDownAtLaunchShowsOfflineAndRecoversOnRetry) {
    const int port = hub->port();
    hub->stop();
    launch();
    ASSERT_TRUE(
        loop.runUntil([&] { return menuShows("Orbelune OS is not reachable (disabled)"); }, 10s));
    EXPECT_TRUE(menuShows("Retry"));

    hubsim::ServerOptions options;
    options.token = kToken;
    options.port = port;
    hub = std::make_unique<hubsim::Server>(options);
    ASSERT_TRUE(hub->start()) << hub->lastError();
    delegate->refresh(true);  // what "Retry" does after the forced open of the menu
    EXPECT_TRUE(loop.runUntil([&] { return menuShows("Rooms (disabled)"); }, 10s));
    EXPECT_TRUE(menuShows("Refresh"));
}

}  // namespace
}  // namespace corvix

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
#include "controls/OrbeluneToggleSwitch.h"
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
    MenuItem* bedroom = testing::itemTitled(*delegate->menu(), "Bedroom");
    ASSERT_TRUE(bedroom && bedroom->submenu());
    const auto row = testing::itemTitled(*bedroom->submenu(), "Electric Blanket");
    ASSERT_NE(row, nullptr);
    auto* toggle = testing::findSubview<OrbeluneToggleSwitch>(*row->view());
    ASSERT_NE(toggle, nullptr);
    ASSERT_FALSE(toggle->isOn());
    const auto rebuilds = counter("menu_full_rebuild");

    // Someone switches the blanket on at the wall: the hub announces it, the menu follows.
    httplib::Client wall("127.0.0.1", hub->port());
    auto res = wall.Post("/hubsim/devices/switch-blanket", R"({"power":{"isOn":true}})",
                         "application/json");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
    EXPECT_TRUE(loop.runUntil([&] { return toggle->isOn(); }, 5s));
    // The same row in the same menu: updated in place, not rebuilt.
    EXPECT_EQ(testing::itemTitled(*bedroom->submenu(), "Electric Blanket"), row);
    EXPECT_EQ(counter("menu_full_rebuild"), rebuilds);
    EXPECT_GT(counter("rows_updated_in_place"), 0);
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

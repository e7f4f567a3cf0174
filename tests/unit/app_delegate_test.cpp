#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "MenuTestSupport.h"
#include "app/AppDelegate.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "desktop/MprisPlayerModel.h"
#include "menu/StayOpenMenu.h"
#include "notch/NotchPlayerController.h"
#include "platform/testing/HeadlessUiServices.h"
#include "platform/testing/RecordingAudioService.h"
#include "platform/testing/RecordingMprisService.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::HeadlessPlatform;
using testing::outline;

constexpr const char* kHome = R"({"status":true,"data":{
    "rooms":[{"id":"living","name":"Living Room",
              "devices":[{"id":"lamp","name":"Lamp","kind":"light","isOn":false}]}],
    "programScenes":[{"id":"evening","label":"Evening"}]}})";

/// The program's core on the headless platform: the delegate with fake HTTP on a virtual clock.
class AppDelegateTest : public ::testing::Test {
  protected:
    AppDelegateTest() {
        PlatformServices services = platformServices();
        ui.installInto(services);
        installPlatformServices(services);
    }

    void launch() {
        delegate = std::make_shared<AppDelegate>();
        application.setDelegate(delegate);
        delegate->applicationDidFinishLaunching();
        platform.loop.runUntilIdle();
    }

    std::vector<std::shared_ptr<FakeHttpClient::Transfer>> stateFetches() const {
        std::vector<std::shared_ptr<FakeHttpClient::Transfer>> fetches;
        for (const auto& t : platform.http.transfers()) {
            if (!t->streaming && t->request.url.ends_with("/state")) {
                fetches.push_back(t);
            }
        }
        return fetches;
    }

    /// Answers the fetch that waits with `body`.
    void answerState(const std::string& body, int status = 200) {
        auto fetches = stateFetches();
        ASSERT_FALSE(fetches.empty());
        ASSERT_FALSE(fetches.back()->finished) << "no fetch is waiting";
        platform.http.respond(fetches.back(), status, body);
        platform.loop.runUntilIdle();
    }

    std::vector<std::string> menuLines() const { return outline(*delegate->menu()); }

    std::int64_t counter(const char* name) const {
        auto counters = RuntimeDiagnostics::menuBar().counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }

    HeadlessPlatform platform;
    HeadlessUiServices ui;
    RecordingAlertPresenter& alerts = ui.alerts;
    RecordingWorkspace& workspace = ui.workspace;
    HeadlessStatusBar& statusBar = ui.statusBar;
    HeadlessApplication& application = ui.application;
    FakeProcessControl& processes = ui.processes;
    std::shared_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, LaunchShowsTheLoadingMenuThenTheBuiltMenu) {
    launch();
    EXPECT_EQ(application.activationPolicy, ActivationPolicy::Accessory);
    ASSERT_EQ(statusBar.items.size(), 1u);
    auto item = statusBar.items[0];
    ASSERT_TRUE(item->image());
    EXPECT_TRUE(item->image()->isTemplate());
    EXPECT_EQ(item->image()->accessibilityDescription(), "Orbelune OS");
    EXPECT_EQ(item->imagePosition(), ImagePosition::ImageLeft);
    EXPECT_EQ(item->length(), StatusItem::VariableLength);
    EXPECT_EQ(item->menu(), delegate->menu());
    EXPECT_EQ(menuLines().front(), "Loading Orbelune OS... (disabled)");
    EXPECT_EQ(item->toolTip(), "Loading Orbelune OS...");

    // The forced first fetch is already on its way, and the stream is open.
    ASSERT_EQ(stateFetches().size(), 1u);
    EXPECT_EQ(stateFetches()[0]->request.url, "http://127.0.0.1:8080/app/os/mac-control/state");
    EXPECT_EQ(platform.http.transfers().size(), 2u);
    EXPECT_FALSE(delegate->hasParentWatch());
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("fallback_refresh_timer_active"), 1);

    answerState(kHome);
    const auto lines = menuLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Living Room >"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Scenes >"), lines.end());
    EXPECT_EQ(lines.back(), "Quit");
    // The settled form of the status item.
    EXPECT_EQ(item->imagePosition(), ImagePosition::ImageOnly);
    EXPECT_EQ(item->length(), StatusItem::SquareLength);
    EXPECT_EQ(item->title(), "");
    EXPECT_EQ(counter("refresh_completed"), 1);
}

TEST_F(AppDelegateTest, RequestsDuringAFetchBecomeOneFetchTwentySecondsAfterTheFirstBegan) {
    launch();
    platform.loop.advance(5s);
    delegate->refresh(false);
    delegate->refresh(false);
    EXPECT_EQ(counter("refresh_coalesced_in_flight"), 2);
    platform.loop.advance(1s);
    answerState(kHome);
    EXPECT_EQ(stateFetches().size(), 1u);
    platform.loop.advance(13999ms);  // 19.999 s after the first fetch began
    EXPECT_EQ(stateFetches().size(), 1u);
    platform.loop.advance(1ms);
    EXPECT_EQ(stateFetches().size(), 2u);
}

TEST_F(AppDelegateTest, AnOpenMenuFetchesAtOnceAndThenEverySecondAtMost) {
    launch();
    answerState(kHome);
    platform.loop.advance(5s);
    delegate->menuWillOpen(*delegate->menu());
    platform.loop.runUntilIdle();
    ASSERT_EQ(stateFetches().size(), 2u);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("menu_visible"), 1);
    answerState(kHome);
    delegate->refresh(false);
    delegate->refresh(false);  // served by the waiting start
    EXPECT_EQ(counter("refresh_coalesced_scheduled"), 1);
    platform.loop.advance(999ms);
    EXPECT_EQ(stateFetches().size(), 2u);
    platform.loop.advance(1ms);
    EXPECT_EQ(stateFetches().size(), 3u);
    answerState(kHome);

    // A forced request replaces a waiting start and runs at once.
    platform.loop.advance(200ms);
    delegate->refresh(false);
    platform.loop.advance(100ms);
    delegate->appearanceDidChange();
    platform.loop.runUntilIdle();
    EXPECT_EQ(stateFetches().size(), 4u);
    answerState(kHome);
    platform.loop.advance(5s);
    EXPECT_EQ(stateFetches().size(), 4u);  // the replaced start never ran

    delegate->menuDidClose(*delegate->menu());
    EXPECT_TRUE(platform.defaults.value(RuntimeDiagnostics::kSnapshotKey).has_value());
}

TEST_F(AppDelegateTest, OnlyAStructuralChangeRebuildsTheMenu) {
    launch();
    answerState(kHome);
    const auto firstItem = delegate->menu()->itemArray().front();
    const auto rebuilds = counter("menu_full_rebuild");

    // A light switched on: same structure, the rows stay as built.
    std::string lightOn = kHome;
    lightOn.replace(lightOn.find("\"isOn\":false"), 12, "\"isOn\":true");
    delegate->refresh(true);
    platform.loop.runUntilIdle();
    answerState(lightOn);
    EXPECT_EQ(delegate->menu()->itemArray().front(), firstItem);
    EXPECT_EQ(counter("menu_full_rebuild"), rebuilds);
    EXPECT_EQ(counter("refresh_structural_rebuild"), 1);
    EXPECT_EQ(counter("refresh_completed"), 2);

    // A device added: rebuilt.
    std::string added = kHome;
    added.replace(added.find("]}],"), 4, R"(,{"id":"fan","name":"Fan","kind":"switch"}]}],)");
    delegate->refresh(true);
    platform.loop.runUntilIdle();
    answerState(added);
    EXPECT_NE(delegate->menu()->itemArray().front(), firstItem);
    EXPECT_EQ(counter("refresh_structural_rebuild"), 2);
}

TEST_F(AppDelegateTest, AStateOnlyChangeReachesTheBuiltRowsInPlace) {
    constexpr const char* kPlug = R"({"status":true,"data":{"rooms":[{"id":"den","name":"Den",
        "devices":[{"id":"plug","name":"Plug","kind":"switch",
                    "power":{"isOn":false,"onItemId":"plug/on"}}]}]}})";
    launch();
    answerState(kPlug);
    MenuItem* den = testing::itemTitled(*delegate->menu(), "Den");
    ASSERT_TRUE(den && den->submenu());
    MenuItem* plug = testing::itemTitled(*den->submenu(), "Plug");
    auto* toggle = testing::findSubview<OrbeluneToggleSwitch>(*plug->view());
    ASSERT_NE(toggle, nullptr);
    EXPECT_FALSE(toggle->isOn());
    const auto rebuilds = counter("menu_full_rebuild");

    std::string switchedOn = kPlug;
    switchedOn.replace(switchedOn.find("\"isOn\":false"), 12, "\"isOn\":true");
    delegate->refresh(true);
    platform.loop.runUntilIdle();
    answerState(switchedOn);
    EXPECT_EQ(counter("menu_full_rebuild"), rebuilds);
    EXPECT_EQ(testing::itemTitled(*den->submenu(), "Plug"), plug);
    EXPECT_TRUE(toggle->isOn());
    EXPECT_EQ(counter("rows_updated_in_place"), 1);
}

TEST_F(AppDelegateTest, AFailedRefreshShowsTheOfflineMenuAndTheNextSuccessRebuilds) {
    launch();
    answerState(kHome);
    delegate->refresh(true);
    platform.loop.runUntilIdle();
    platform.http.respond(
        stateFetches().back(),
        Error{kUrlErrorDomain, kUrlErrorCannotConnectToHost, "Could not connect to the server."});
    platform.loop.runUntilIdle();
    EXPECT_EQ(menuLines()[0], "Orbelune OS is not reachable (disabled)");
    EXPECT_EQ(menuLines()[1], "Could not connect to the server. (disabled)");
    EXPECT_NE(std::find(menuLines().begin(), menuLines().end(), "Retry"), menuLines().end());
    EXPECT_FALSE(delegate->lastStructureSignature().has_value());
    EXPECT_EQ(counter("refresh_failed"), 1);
    EXPECT_TRUE(alerts.shown.empty());
    // The icon's tool tip says what the menu's first lines say.
    EXPECT_EQ(statusBar.items[0]->toolTip(),
              "Orbelune OS is not reachable\nCould not connect to the server.");

    delegate->refresh(true);
    platform.loop.runUntilIdle();
    answerState(kHome);  // same structure as before the failure, rebuilt all the same
    EXPECT_EQ(counter("refresh_structural_rebuild"), 2);
    EXPECT_NE(std::find(menuLines().begin(), menuLines().end(), "Refresh"), menuLines().end());
    EXPECT_EQ(statusBar.items[0]->toolTip(), "Orbelune OS");
}

TEST_F(AppDelegateTest, AMissingTokenShowsOfflineWithoutSendingAnything) {
    platform.environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", "");
    launch();
    EXPECT_TRUE(platform.http.transfers().empty());
    EXPECT_EQ(menuLines()[1], "Mac control token is missing (disabled)");
}

TEST_F(AppDelegateTest, TheFallbackTimerAsksWithoutForceSoTheClosedMenusSpacingHolds) {
    launch();
    answerState(kHome);
    platform.loop.advance(50s);
    delegate->refresh(false);  // a stream event, say
    platform.loop.runUntilIdle();
    ASSERT_EQ(stateFetches().size(), 2u);
    answerState(kHome);
    // The timer's tick at 60 s comes 10 s after that fetch began: it waits out the 20 s.
    platform.loop.advance(10s);
    EXPECT_EQ(stateFetches().size(), 2u);
    platform.loop.advance(10s);
    EXPECT_EQ(stateFetches().size(), 3u);
}

TEST_F(AppDelegateTest, StreamEventsAskForARefreshAndBurstsStayGated) {
    launch();
    answerState(kHome);
    std::shared_ptr<FakeHttpClient::Transfer> stream;
    for (const auto& t : platform.http.transfers()) {
        if (t->streaming) {
            stream = t;
        }
    }
    ASSERT_TRUE(stream);
    platform.http.streamHead(stream, 200);
    for (int i = 0; i < 1000; ++i) {
        platform.http.streamData(stream, "event: state\ndata: {}\n\n");
        if (i % 100 == 0) {
            platform.loop.advance(100ms);
        }
    }
    platform.loop.advance(40s);
    // One fetch per 20 s at most while nothing is visible, however many events arrived.
    EXPECT_LE(stateFetches().size(), 3u);
    EXPECT_GE(stateFetches().size(), 2u);
}

TEST_F(AppDelegateTest, WakingUpReconnectsTheStreamAndFetchesAtOnce) {
    launch();
    answerState(kHome);
    auto streams = [&] {
        std::vector<std::shared_ptr<FakeHttpClient::Transfer>> found;
        for (const auto& t : platform.http.transfers()) {
            if (t->streaming) {
                found.push_back(t);
            }
        }
        return found;
    };
    // The hub went away while the computer slept: the stream's reconnect delay grew to 8 s.
    for (auto delay : {1s, 2s, 4s}) {
        platform.http.streamEnd(streams().back(),
                                Error{"NSURLErrorDomain", -1004, "Could not connect"});
        platform.loop.runUntilIdle();
        platform.loop.advance(delay);
    }
    platform.http.streamEnd(streams().back(),
                            Error{"NSURLErrorDomain", -1004, "Could not connect"});
    platform.loop.runUntilIdle();
    const auto streamsBefore = streams().size();
    const auto fetchesBefore = stateFetches().size();

    delegate->applicationDidWake();
    platform.loop.runUntilIdle();
    EXPECT_EQ(streams().size(), streamsBefore + 1) << "a new stream without waiting out 8 s";
    EXPECT_FALSE(streams().back()->finished);
    EXPECT_EQ(stateFetches().size(), fetchesBefore + 1) << "a fetch without waiting 20 s";
    answerState(kHome);
    EXPECT_EQ(counter("refresh_completed"), 2);
}

TEST_F(AppDelegateTest, WakingTwiceWhileConnectedLeavesOneStream) {
    launch();
    answerState(kHome);
    auto openStreams = [&] {
        std::vector<std::shared_ptr<FakeHttpClient::Transfer>> found;
        for (const auto& t : platform.http.open()) {
            if (t->streaming) {
                found.push_back(t);
            }
        }
        return found;
    };
    ASSERT_EQ(openStreams().size(), 1u);
    platform.http.streamHead(openStreams()[0], 200);
    platform.loop.runUntilIdle();

    for (int wake = 0; wake < 2; ++wake) {
        delegate->applicationDidWake();
        platform.loop.runUntilIdle();
        answerState(kHome);
    }
    platform.loop.advance(30s);  // long past any reconnect delay, short of the fallback timer
    const auto streams = openStreams();
    ASSERT_EQ(streams.size(), 1u);

    // The one stream still drives refreshes.
    const auto fetches = stateFetches().size();
    platform.http.streamHead(streams[0], 200);
    platform.http.streamData(streams[0], "event: state\ndata: {}\n\n");
    platform.loop.advance(1s);
    EXPECT_EQ(stateFetches().size(), fetches + 1);

    delegate->applicationWillTerminate();
    platform.loop.runUntilIdle();
    EXPECT_TRUE(openStreams().empty());
}

TEST_F(AppDelegateTest, ParentWatchAndQuit) {
    platform.environment.set("ORBELUNE_PARENT_PID", "+4242");
    processes.alive.insert(4242);
    launch();
    EXPECT_TRUE(delegate->hasParentWatch());
    platform.loop.advance(3s);
    EXPECT_EQ(processes.probes, 1);
    EXPECT_FALSE(application.terminated);

    processes.alive.clear();
    platform.loop.advance(3s);
    EXPECT_TRUE(application.terminated);
    // Termination ran in order: the stream stopped, the status item is gone, timers are off.
    EXPECT_TRUE(statusBar.items.empty());
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("state_stream_active"), 0);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("parent_monitor_timer_active"), 0);
    EXPECT_TRUE(platform.defaults.value(RuntimeDiagnostics::kSnapshotKey).has_value());
    EXPECT_TRUE(processes.terminationRequests.empty());
    const int probes = processes.probes;
    platform.loop.advance(1min);
    EXPECT_EQ(processes.probes, probes);
    EXPECT_TRUE(platform.http.open().empty());
}

TEST_F(AppDelegateTest, AFetchCancelledByTerminationStartsNoOther) {
    launch();
    delegate->refresh(false);  // pending behind the first fetch
    application.terminate();
    platform.loop.advance(2min);
    EXPECT_EQ(stateFetches().size(), 1u);
    EXPECT_TRUE(stateFetches()[0]->task->isCancelled());
    EXPECT_TRUE(platform.http.open().empty());
    EXPECT_EQ(counter("refresh_failed"), 0);
}

TEST_F(AppDelegateTest, QuitAsksTheParentToEndOnlyWhenOneIsGiven) {
    platform.environment.set("ORBELUNE_PARENT_PID", "12a");
    launch();
    EXPECT_FALSE(delegate->hasParentWatch());
    delegate->quit();
    EXPECT_TRUE(application.terminated);
    EXPECT_TRUE(processes.terminationRequests.empty());

    application.terminated = false;
    platform.environment.set("ORBELUNE_PARENT_PID", "77");
    delegate->quit();
    EXPECT_EQ(processes.terminationRequests, (std::vector<int>{77}));
}

TEST_F(AppDelegateTest, DashboardOpensTheConfiguredAddressAndIgnoresNonUrls) {
    launch();
    delegate->openDashboard();
    platform.environment.set("ORBELUNE_DASHBOARD_URL", "http://127.0.0.1:9/os");
    delegate->openDashboard();
    platform.environment.set("ORBELUNE_DASHBOARD_URL", "not a url");
    delegate->openDashboard();
    EXPECT_EQ(workspace.opened,
              (std::vector<std::string>{"http://127.0.0.1:8080/os", "http://127.0.0.1:9/os"}));
    EXPECT_TRUE(alerts.shown.empty());

    // Without a browser the click says so instead of doing nothing.
    workspace.opens = false;
    platform.environment.set("ORBELUNE_DASHBOARD_URL", "http://127.0.0.1:9/os");
    delegate->openDashboard();
    platform.loop.runUntilIdle();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].messageText, "Unable to Open the Link");
    EXPECT_NE(alerts.shown[0].informativeText.find("http://127.0.0.1:9/os"), std::string::npos);
}

TEST_F(AppDelegateTest, OnlyAnImageInARegularFileOfIconSizeBecomesTheIcon) {
    // The first bytes of a 32 by 32 PNG: enough for the headless decoder.
    std::string png = "\x89PNG\r\n\x1a\n";
    png += std::string("\0\0\0\x0dIHDR\0\0\0\x20\0\0\0\x20\x08\x06\0\0\0", 21);
    const auto folder = platform.temp.path() / "icons";
    std::filesystem::create_directories(folder / "folder.png");
    const auto fifo = folder / "fifo.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        bool loaded;
    };
    const Case cases[] = {
        {platform.temp.write("icons/icon.png", png).string(), true},
        {platform.temp.write("icons/text.png", "not an image").string(), false},
        // A FIFO nobody writes to must not hold the start up.
        {fifo.string(), false},
        {(folder / "folder.png").string(), false},
        {(folder / "missing.png").string(), false},
        {platform.temp.write("icons/huge.png", png + std::string(600 * 1024, '\0')).string(),
         false},
    };
    for (const auto& c : cases) {
        platform.environment.set("ORBELUNE_MENUBAR_ICON_PATH", c.path);
        launch();
        ImagePtr image = statusBar.items.back()->image();
        ASSERT_TRUE(image) << c.path;
        EXPECT_EQ(image->accessibilityDescription() != "Orbelune OS", c.loaded) << c.path;
        if (c.loaded) {
            EXPECT_EQ(image->size().width, 18);
        }
        delegate->applicationWillTerminate();
    }
}

}  // namespace
}  // namespace corvix

namespace corvix {
namespace {

constexpr const char* kMusicHome = R"({"status":true,"data":{"rooms":[],
    "musicPlayer":{"available":true,"activePlayer":{"id":"sp","title":"Blue Train",
                   "playback":"paused","durationMs":1000}}}})";

TEST_F(AppDelegateTest, TheNotchPlayerShowsWithMusicAndSpacesFetchesLikeAnOpenMenu) {
    launch();
    ASSERT_NE(delegate->notchPlayer(), nullptr);
    answerState(kMusicHome);
    ASSERT_TRUE(delegate->notchPlayer()->isVisible());
    delegate->refresh(false);
    platform.loop.advance(1s);  // visible: one second, not twenty
    EXPECT_EQ(stateFetches().size(), 2u);
    answerState(kMusicHome);

    platform.defaults.setValue(corvixNotchEnabledKey, false);
    delegate->settingsTogglesChanged();
    EXPECT_FALSE(delegate->notchPlayer()->isVisible());

    platform.defaults.setValue(corvixNotchEnabledKey, true);
    platform.loop.advance(20s);
    answerState(kMusicHome);
    EXPECT_TRUE(delegate->notchPlayer()->isVisible());
    delegate->applicationWillTerminate();
    EXPECT_EQ(delegate->notchPlayer(), nullptr);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("notch_visible"), 0);
}

constexpr const char* kMusicHere = R"({"status":true,"data":{"rooms":[],
    "musicPlayer":{"available":true,"activePlayer":{"id":"here","title":"Blue Train",
                   "targetType":"built_in_player","targetId":"orbelune_local_player",
                   "streamUrl":"/media-services/library/stream/trk-1","playback":"playing",
                   "volume":30}}}})";

TEST_F(AppDelegateTest, ThisComputerPlaysWhileTheHubRoutesMusicHereUntilShutdown) {
    RecordingAudioService audio;
    PlatformServices services = platformServices();
    services.audio = &audio;
    installPlatformServices(services);
    launch();
    answerState(kMusicHere);
    ASSERT_EQ(audio.liveCount(), 1);
    EXPECT_EQ(audio.last()->url, "http://127.0.0.1:8080/media-services/library/stream/trk-1");
    EXPECT_TRUE(audio.last()->playing);
    EXPECT_DOUBLE_EQ(*audio.last()->volume, 0.3);

    // A failed fetch says nothing about the music: the sound goes on.
    delegate->refresh(true);
    platform.loop.advance(20s);
    answerState(R"({"status":false,"message":"busy"})");
    EXPECT_EQ(audio.liveCount(), 1);

    delegate->refresh(true);
    platform.loop.advance(20s);
    answerState(kMusicHome);  // the music moved to another player
    EXPECT_EQ(audio.liveCount(), 0);

    delegate->refresh(true);
    platform.loop.advance(20s);
    answerState(kMusicHere);
    ASSERT_EQ(audio.liveCount(), 1);
    application.terminate();
    EXPECT_EQ(audio.liveCount(), 0);
    EXPECT_FALSE(audio.last()->playing);
}

TEST_F(AppDelegateTest, TheDesktopMediaControlsShowEachFetchedPlayer) {
    RecordingMprisService mpris;
    PlatformServices services = platformServices();
    services.mpris = &mpris;
    installPlatformServices(services);
    launch();
    ASSERT_NE(delegate->mprisPlayer(), nullptr);
    EXPECT_TRUE(mpris.published.empty()) << "nothing to show before the first fetch";
    answerState(kMusicHome);
    ASSERT_TRUE(mpris.current());
    EXPECT_EQ(mpris.current()->metadata.title, "Blue Train");
    EXPECT_EQ(mpris.current()->playbackStatus, MprisPlaybackStatus::Paused);

    // An unreachable hub withdraws the player, and its return brings it back.
    delegate->refresh(true);
    platform.loop.runUntilIdle();
    answerState("{}", 500);
    EXPECT_FALSE(mpris.current());
    delegate->refresh(true);
    platform.loop.runUntilIdle();
    answerState(kMusicHome);
    EXPECT_TRUE(mpris.current());

    delegate->applicationWillTerminate();
    EXPECT_EQ(delegate->mprisPlayer(), nullptr);
    EXPECT_FALSE(mpris.current()) << "withdrawn at the end";
}

TEST_F(AppDelegateTest, WithoutABusTheMediaControlsAreAbsentAndSaySoOnce) {
    RecordingMprisService mpris;
    mpris.isAvailable = false;
    PlatformServices services = platformServices();
    services.mpris = &mpris;
    installPlatformServices(services);
    launch();
    answerState(kMusicHome);
    EXPECT_EQ(delegate->mprisPlayer(), nullptr);
    EXPECT_EQ(counter("mpris_unavailable"), 1);
    EXPECT_TRUE(mpris.published.empty());
    EXPECT_FALSE(mpris.hasHandler());
    EXPECT_EQ(counter("refresh_completed"), 1) << "start-up goes on as before";
}

TEST_F(AppDelegateTest, AMediaKeyShowsItsResultWithoutWaitingForTheClosedMenusSpacing) {
    RecordingMprisService mpris;
    PlatformServices services = platformServices();
    services.mpris = &mpris;
    installPlatformServices(services);
    launch();
    answerState(R"({"status":true,"data":{"rooms":[],
        "musicPlayer":{"available":true,"activePlayer":{"id":"sp","targetId":"kitchen",
                       "targetType":"speaker","title":"Blue Train","playback":"playing"}}}})");
    const std::size_t fetches = stateFetches().size();
    MprisRequest next;
    next.kind = MprisRequest::Kind::Next;
    mpris.call(next);
    platform.loop.runUntilIdle();
    std::shared_ptr<FakeHttpClient::Transfer> command;
    for (const auto& t : platform.http.transfers()) {
        if (t->request.method == "POST" && !t->finished) {
            command = t;
        }
    }
    ASSERT_TRUE(command);
    platform.http.respond(command, 200, R"({"status":true})");
    platform.loop.runUntilIdle();
    // With the menu closed a refresh would wait twenty seconds; the key's does not.
    ASSERT_EQ(stateFetches().size(), fetches + 1);
    EXPECT_FALSE(stateFetches().back()->finished);
    delegate->applicationWillTerminate();  // before the test's media service goes
}

TEST_F(AppDelegateTest, AMiddleClickOnTheIconPlaysOrPausesTheMediaControlsPlayer) {
    RecordingMprisService mpris;
    PlatformServices services = platformServices();
    services.mpris = &mpris;
    installPlatformServices(services);
    launch();
    auto item = statusBar.items.at(0);
    ASSERT_TRUE(item->hasSecondaryAction());
    item->performSecondaryAction();  // nothing known to play yet: nothing sent
    platform.loop.runUntilIdle();
    auto commands = [&] {
        std::vector<std::shared_ptr<FakeHttpClient::Transfer>> posts;
        for (const auto& t : platform.http.transfers()) {
            if (t->request.method == "POST") {
                posts.push_back(t);
            }
        }
        return posts;
    };
    EXPECT_TRUE(commands().empty());

    answerState(R"({"status":true,"data":{"rooms":[],
        "musicPlayer":{"available":true,"activePlayer":{"id":"sp","targetId":"kitchen",
                       "targetType":"speaker","title":"Blue Train","playback":"paused"}}}})");
    item->performSecondaryAction();
    platform.loop.runUntilIdle();
    ASSERT_EQ(commands().size(), 1u);
    const HttpRequest& sent = commands()[0]->request;
    EXPECT_TRUE(sent.url.ends_with("/music/command")) << sent.url;
    EXPECT_NE(sent.body.value_or("").find(R"("action":"resume")"), std::string::npos)
        << sent.body.value_or("");
    EXPECT_EQ(mpris.current()->playbackStatus, MprisPlaybackStatus::Playing)
        << "the desktop shows the click's effect at once";
    delegate->applicationWillTerminate();  // before the test's media service goes
}

}  // namespace
}  // namespace corvix

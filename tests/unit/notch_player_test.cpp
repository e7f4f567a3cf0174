#include <gtest/gtest.h>

#include <cmath>

#include "HubTestSupport.h"
#include "notch/NotchPlayerController.h"
#include "platform/testing/HeadlessUiServices.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

using State = NotchPlayerController::State;

Screen plainScreen() {
    Screen screen;
    screen.name = "plain";
    screen.frame = {0, 0, 1440, 900};
    screen.visibleFrame = {0, 0, 1440, 900};
    return screen;
}

Screen housingScreen() {
    Screen screen;
    screen.name = "housing";
    screen.frame = {0, 0, 1512, 982};
    screen.visibleFrame = {0, 0, 1512, 950};
    screen.safeAreaTopInset = 32;
    screen.auxiliaryTopLeftArea = Rect(0, 950, 660, 32);
    screen.auxiliaryTopRightArea = Rect(852, 950, 660, 32);
    return screen;
}

JsonObject playerRecord(std::string playback = "playing") {
    return JsonObject{{"id", "spotify-1"},       {"serviceKey", "spotify"},
                      {"targetType", "speaker"}, {"targetId", "kitchen"},
                      {"title", "Blue Train"},   {"artist", "John Coltrane"},
                      {"playback", playback},    {"positionMs", 60000},
                      {"durationMs", 240000},    {"volume", 40}};
}

JsonObject stateWith(const JsonObject& active, json::array players = {}) {
    return JsonObject{{"musicPlayer", JsonObject{{"available", true},
                                                 {"activePlayer", active},
                                                 {"players", std::move(players)}}}};
}

struct NotchFixture : ::testing::Test {
    testing::HeadlessPlatform platform;
    HeadlessUiServices ui;
    std::unique_ptr<OrbeluneClient> client;
    OrderedSends sends;
    std::unique_ptr<NotchPlayerController> notch;

    NotchFixture() {
        PlatformServices services = platformServices();
        ui.installInto(services);
        installPlatformServices(services);
        ui.screens.setScreens({plainScreen()});
        ui.screens.pointer = {5, 5};  // far from the strip
        platform.http.responder = [](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
            HttpResponse response;
            response.status = 200;
            response.body = "{}";
            return Result<HttpResponse>(response);
        };
        client = platform.makeClient();
        notch = std::make_unique<NotchPlayerController>(*client, sends);
    }

    std::int64_t gauge(const std::string& name) {
        auto gauges = RuntimeDiagnostics::menuBar().gauges();
        auto it = gauges.find(name);
        return it == gauges.end() ? -1 : it->second;
    }
    /// The pointer at `p` in the notch window's coordinates, as the desktop reports it.
    void pointerAt(Point p) {
        Rect frame = notch->window().frame();
        ui.screens.pointer = {frame.minX() + p.x, frame.minY() + p.y};
        EventDriver(notch->window()).moveTo(p);
    }
    void pointerAway() {
        ui.screens.pointer = {5, 5};
        EventDriver(notch->window()).leave();
    }
    std::vector<JsonObject> bodiesTo(std::string_view path) {
        std::vector<JsonObject> out;
        for (const auto& t : platform.http.transfers()) {
            if (t->request.url.find(path) != std::string::npos && t->request.body) {
                out.push_back(json::parse(*t->request.body).as_object());
            }
        }
        return out;
    }
    void advance(double seconds) {
        platform.loop.advance(
            std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds)));
        platform.loop.runUntilIdle();
    }
};

TEST(NotchFrameTest, FramesFollowTheScreen) {
    Screen insetOnly = plainScreen();
    insetOnly.safeAreaTopInset = 32;  // no areas beside a housing: no housing
    Screen underPanel = plainScreen();
    underPanel.visibleFrame = {0, 0, 1440, 860};  // a 40-point top panel
    Screen offset = plainScreen();
    offset.frame = {1440, 0, 1920, 1080};
    offset.visibleFrame = offset.frame;
    struct Case {
        const char* name;
        std::vector<Screen> screens;
        State state;
        Rect expected;
    };
    const Case cases[] = {
        {"plain compact", {plainScreen()}, State::compact, {622.5, 840, 195, 32}},
        {"plain expanded", {plainScreen()}, State::expanded, {550, 696, 340, 176}},
        {"housing compact", {housingScreen()}, State::compact, {660, 950, 192, 32}},
        {"housing expanded", {housingScreen()}, State::expanded, {586, 806, 340, 176}},
        {"housing found second",
         {plainScreen(), housingScreen()},
         State::compact,
         {660, 950, 192, 32}},
        {"inset only", {insetOnly}, State::compact, {622.5, 840, 195, 32}},
        {"below a top panel", {underPanel}, State::compact, {622.5, 828, 195, 32}},
        {"main screen elsewhere", {offset}, State::compact, {2302.5, 1020, 195, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = NotchPlayerController::frameFor(c.state, c.screens);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(*frame, c.expected);
    }
    EXPECT_FALSE(NotchPlayerController::frameFor(State::compact, {}).has_value());
}

TEST_F(NotchFixture, FirstUpdateShowsTheFilledStripAtOnce) {
    notch->update(stateWith(playerRecord("paused")));
    EXPECT_EQ(notch->state(), State::compact);
    EXPECT_TRUE(notch->isVisible());
    EXPECT_TRUE(notch->window().isVisible());
    EXPECT_EQ(notch->window().frame(), Rect(622.5, 840, 195, 32));
    EXPECT_FALSE(notch->window().lastFrameAnimation().has_value());
    EXPECT_EQ(notch->window().level(), WindowLevel::StatusBar);
    EXPECT_FALSE(notch->window().isOpaque());
    ASSERT_NE(notch->compactView(), nullptr);
    // Filled by the transition itself, not left empty until the next update.
    EXPECT_EQ(notch->compactView()->trackTitle(), "Blue Train \u2014 John Coltrane");
    EXPECT_DOUBLE_EQ(notch->compactView()->progressFraction(), 0.25);
    EXPECT_EQ(gauge("notch_visible"), 1);
    EXPECT_FALSE(notch->hasProgressTimer());
    EXPECT_EQ(gauge("notch_progress_timer_active"), 0);
}

TEST_F(NotchFixture, PlayingPlayerRedrawsEveryHalfSecond) {
    platform.loop.setWallClockStartMs(1'000'000);
    JsonObject player = playerRecord("playing");
    player["lastUpdatedAt"] = 1'000'000;
    notch->update(stateWith(player));
    EXPECT_TRUE(notch->hasProgressTimer());
    EXPECT_EQ(gauge("notch_progress_timer_active"), 1);
    const double before = notch->compactView()->progressFraction();
    advance(0.5);
    EXPECT_NEAR(notch->compactView()->progressFraction() - before, 500.0 / 240000, 1e-9);
}

TEST_F(NotchFixture, StripTextsForEmptyFields) {
    struct Case {
        JsonObject player;
        std::string expected;
    };
    const Case cases[] = {
        {JsonObject{{"title", ""}, {"artist", ""}, {"label", "Kitchen"}}, "Music stopped"},
        {JsonObject{{"title", ""}, {"artist", "Nina Simone"}}, "Nina Simone"},
        {JsonObject{{"title", "Feeling Good"}}, "Feeling Good"},
        {JsonObject{{"title", "Feeling Good"}, {"subtitle", "Nina"}}, "Feeling Good \u2014 Nina"},
    };
    for (const Case& c : cases) {
        notch->update(stateWith(c.player));
        EXPECT_EQ(notch->compactView()->trackTitle(), c.expected);
    }
}

TEST_F(NotchFixture, HiddenWithoutMusicOrWithTheSwitchOff) {
    notch->update(stateWith(playerRecord()));
    notch->update(JsonObject{{"musicPlayer", JsonObject{{"available", false}}}});
    EXPECT_EQ(notch->state(), State::hidden);
    EXPECT_FALSE(notch->window().isVisible());
    EXPECT_EQ(gauge("notch_visible"), 0);
    EXPECT_EQ(gauge("notch_progress_timer_active"), 0);

    notch->update(stateWith(playerRecord()));
    EXPECT_TRUE(notch->isVisible());
    platform.defaults.setValue(corvixNotchEnabledKey, false);
    notch->update(stateWith(playerRecord()));
    EXPECT_FALSE(notch->isVisible());
    EXPECT_FALSE(notch->hasProgressTimer());
}

TEST_F(NotchFixture, ShortHoverStaysCompactAndAFullOneExpandsWithTheSpring) {
    notch->update(stateWith(playerRecord()));
    pointerAt({50, 16});
    advance(0.29);
    pointerAway();
    advance(1);
    EXPECT_EQ(notch->state(), State::compact);

    pointerAt({50, 16});
    advance(0.3);
    EXPECT_EQ(notch->state(), State::expanded);
    EXPECT_EQ(notch->window().frame(), Rect(550, 696, 340, 176));
    ASSERT_TRUE(notch->window().lastFrameAnimation().has_value());
    EXPECT_DOUBLE_EQ(notch->window().lastFrameAnimation()->duration, 0.35);
    EXPECT_EQ(notch->window().lastFrameAnimation()->timing,
              (TimingFunction{0.34, 1.30, 0.64, 1.00}));
    // The card opens filled.
    ASSERT_NE(notch->expandedView(), nullptr);
    EXPECT_EQ(notch->expandedView()->titleLabel().stringValue(), "Blue Train");
    EXPECT_EQ(notch->expandedView()->durationLabel().stringValue(), "4:00");
}

TEST_F(NotchFixture, ClickExpandsAtOnceAndTheCardCollapsesWhenLeftAlone) {
    notch->update(stateWith(playerRecord()));
    pointerAt({50, 16});
    EventDriver(notch->window()).press({50, 16});
    EXPECT_EQ(notch->state(), State::expanded);
    // The card grew from under the pointer, which is now outside it.
    pointerAway();
    advance(3.4);
    EXPECT_EQ(notch->state(), State::expanded);
    advance(0.1);
    EXPECT_EQ(notch->state(), State::compact);
    EXPECT_EQ(notch->window().frame(), Rect(622.5, 840, 195, 32));
    EXPECT_TRUE(notch->window().lastFrameAnimation().has_value());
}

TEST_F(NotchFixture, ClicksKeepTheCardOpenUnderThePointerAndRestartTheCountAwayFromIt) {
    notch->update(stateWith(playerRecord()));
    pointerAt({50, 16});
    advance(0.3);
    ASSERT_EQ(notch->state(), State::expanded);
    PlayerCardView& card = *notch->expandedView();
    EventDriver driver(notch->window());
    driver.click(windowPoint(card.nextButton(), {16, 16}));
    driver.click(windowPoint(card.volume(), {40, 4}));
    // Not even for a moment: a collapsed card would grow again under the resting pointer.
    for (int tenth = 1; tenth <= 100; ++tenth) {
        advance(0.1);
        ASSERT_EQ(notch->state(), State::expanded) << "after " << tenth / 10.0 << " s";
    }
    EXPECT_FALSE(notch->hasCollapseTimer());

    pointerAway();
    advance(3);
    // Pressed without the pointer (from the keyboard or assistive technology): 3.5 s again.
    EXPECT_TRUE(card.playButton().accessibilityPerformPress());
    advance(3);
    EXPECT_EQ(notch->state(), State::expanded);
    advance(0.5);
    EXPECT_EQ(notch->state(), State::compact);
}

TEST_F(NotchFixture, ViewsUnderARestingPointerSeeIt) {
    // The pointer already rests where the strip appears: the desktop sends no enter event
    // for a window that shows up under it, nor for the card that grows under it.
    ui.screens.pointer = {700, 850};
    notch->update(stateWith(playerRecord()));
    advance(0.3);
    ASSERT_EQ(notch->state(), State::expanded);
    advance(10);
    EXPECT_EQ(notch->state(), State::expanded);
    pointerAway();
    advance(3.5);
    EXPECT_EQ(notch->state(), State::compact);
}

TEST_F(NotchFixture, VolumeBarSendsSetVolumeWithoutARefresh) {
    notch->update(stateWith(playerRecord()));
    EventDriver(notch->window()).press({50, 16});
    ASSERT_EQ(notch->state(), State::expanded);
    const std::size_t before = platform.http.transfers().size();
    PlayerCardView& card = *notch->expandedView();
    EventDriver driver(notch->window());
    driver.click(windowPoint(card.volume(), {40, 4}));
    platform.loop.runUntilIdle();
    auto bodies = bodiesTo("music/command");
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].at("action"), "setVolume");
    EXPECT_DOUBLE_EQ(bodies[0].at("volume").to_number<double>(), 50);
    EXPECT_EQ(platform.http.transfers().size(), before + 1);  // no state fetch follows
}

TEST_F(NotchFixture, SeekClickSendsOnceAndNothingWithoutADuration) {
    notch->update(stateWith(playerRecord()));
    EventDriver(notch->window()).press({50, 16});
    PlayerCardView& card = *notch->expandedView();
    EventDriver driver(notch->window());
    driver.click(windowPoint(card.progress(), {61, 4}));
    platform.loop.runUntilIdle();
    auto bodies = bodiesTo("music/command");
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].at("action"), "seek");
    EXPECT_DOUBLE_EQ(bodies[0].at("positionMs").to_number<double>(), 0.5 * 240000);

    JsonObject noDuration = playerRecord();
    noDuration.erase("durationMs");
    notch->update(stateWith(noDuration));
    EXPECT_FALSE(card.progress().isEnabled());
    driver.click(windowPoint(card.progress(), {90, 4}));
    platform.loop.runUntilIdle();
    EXPECT_EQ(bodiesTo("music/command").size(), 1u);
}

TEST_F(NotchFixture, DragSendsInOrderKeepingOnlyTheNewestWhileOneIsOnItsWay) {
    notch->update(stateWith(playerRecord()));
    EventDriver(notch->window()).press({50, 16});
    PlayerCardView& card = *notch->expandedView();
    platform.http.responder = [](const HttpRequest&) -> std::optional<Result<HttpResponse>> {
        return std::nullopt;  // every request waits until the test answers
    };
    EventDriver driver(notch->window());
    driver.press(windowPoint(card.volume(), {8, 4}));
    driver.drag(windowPoint(card.volume(), {16, 4}));
    driver.drag(windowPoint(card.volume(), {24, 4}));
    driver.drag(windowPoint(card.volume(), {32, 4}));
    driver.release(windowPoint(card.volume(), {32, 4}));
    auto open = platform.http.open();
    ASSERT_EQ(open.size(), 1u);
    platform.http.respond(open[0], 200, "{}");
    platform.loop.runUntilIdle();
    auto bodies = bodiesTo("music/command");
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_DOUBLE_EQ(bodies[0].at("volume").to_number<double>(), 20);
    EXPECT_DOUBLE_EQ(bodies[1].at("volume").to_number<double>(), 40);
}

TEST_F(NotchFixture, TransportCommandsUseTheStoredPlayer) {
    notch->update(stateWith(playerRecord("playing")));
    EventDriver(notch->window()).press({50, 16});
    PlayerCardView& card = *notch->expandedView();
    EventDriver driver(notch->window());
    driver.click(windowPoint(card.prevButton(), {16, 16}));
    driver.click(windowPoint(card.playButton(), {22, 22}));
    driver.click(windowPoint(card.nextButton(), {16, 16}));
    platform.loop.runUntilIdle();
    auto bodies = bodiesTo("music/command");
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[0].at("action"), "previous");
    EXPECT_EQ(bodies[1].at("action"), "pause");
    EXPECT_EQ(bodies[2].at("action"), "next");
    EXPECT_EQ(bodies[1].at("targetId"), "kitchen");
}

TEST_F(NotchFixture, StoppedCardLaunchesTheFirstMatchingPlayer) {
    JsonObject first{{"id", "sp-a"}, {"serviceKey", "spotify_connect"}};
    JsonObject second{{"id", "sp-b"}, {"serviceKey", "SPOTIFY"}};
    JsonObject apple{{"id", "am"}, {"serviceKey", "apple_music"}};
    JsonObject stopped{{"id", "idle"}, {"title", ""}, {"artist", ""}};
    notch->update(stateWith(stopped, json::array{apple, first, second}));
    EventDriver(notch->window()).press({50, 16});
    PlayerCardView& card = *notch->expandedView();
    ASSERT_TRUE(card.isStoppedMode());
    EXPECT_FALSE(card.stoppedContainer().isHidden());
    EXPECT_EQ(card.stoppedLabel().stringValue(), "Music stopped.");
    ASSERT_EQ(card.launcherButtons().size(), 4u);
    EventDriver driver(notch->window());
    driver.click(windowPoint(*card.launcherButtons()[1], {16, 16}));
    platform.loop.runUntilIdle();
    auto transfers = bodiesTo("music/transfer");
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].at("sourcePlayerId"), "idle");
    EXPECT_EQ(transfers[0].at("targetPlayerId"), "sp-a");
    auto commands = bodiesTo("music/command");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].at("action"), "resume");
    EXPECT_EQ(commands[0].at("serviceKey"), "spotify_connect");
}

TEST_F(NotchFixture, ScreenChangePlacesTheWindowAgain) {
    notch->update(stateWith(playerRecord()));
    ui.screens.setScreens({housingScreen()});
    EXPECT_EQ(notch->window().frame(), Rect(660, 950, 192, 32));
    EXPECT_FALSE(notch->window().lastFrameAnimation().has_value());
    notch->hide();
    ui.screens.setScreens({plainScreen()});
    EXPECT_EQ(notch->window().frame(), Rect(660, 950, 192, 32));
}

TEST_F(NotchFixture, HideStopsTimersAndALateHoverDoesNotReturn) {
    notch->update(stateWith(playerRecord()));
    pointerAt({50, 16});
    EXPECT_TRUE(notch->hasHoverTimer());
    notch->hide();
    EXPECT_FALSE(notch->hasHoverTimer());
    advance(1);
    EXPECT_EQ(notch->state(), State::hidden);
    EXPECT_FALSE(notch->window().isVisible());
}

}  // namespace
}  // namespace corvix

#include <gtest/gtest.h>

#include <cmath>

#include "HubTestSupport.h"
#include "notch/DotMatrixEqualizerView.h"
#include "notch/ModernProgressView.h"
#include "notch/MusicIconButton.h"
#include "notch/MusicSymbolImage.h"
#include "notch/NotchCompactView.h"
#include "notch/PlayerCardView.h"
#include "platform/testing/HeadlessUiServices.h"
#include "platform/testing/RecordingGraphicsContext.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

struct ViewsFixture : ::testing::Test {
    testing::HeadlessPlatform platform;
    HeadlessUiServices ui;
    std::shared_ptr<Window> window =
        std::make_shared<Window>(Rect(0, 0, 400, 200), WindowStyleBorderless);

    ViewsFixture() {
        PlatformServices services = platformServices();
        ui.installInto(services);
        installPlatformServices(services);
    }
    template <typename V>
    std::shared_ptr<V> add(std::shared_ptr<V> view) {
        window->contentView()->addSubview(view);
        window->contentView()->layoutSubtreeIfNeeded();
        return view;
    }
    std::int64_t gauge(const std::string& name) {
        auto gauges = RuntimeDiagnostics::menuBar().gauges();
        auto it = gauges.find(name);
        return it == gauges.end() ? -1 : it->second;
    }
};

TEST_F(ViewsFixture, SymbolImageTintsOnlyItsOwnBitmap) {
    EXPECT_EQ(musicSymbolImage("no.such.symbol", 12, FontWeight::Bold, Color::white()), nullptr);
    ImagePtr plain = musicSymbolImage("music.note", 16, FontWeight::Regular, std::nullopt);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->symbol().has_value());
    ImagePtr tinted = musicSymbolImage("music.note", 16, FontWeight::Regular, Color::white());
    ASSERT_NE(tinted, nullptr);
    EXPECT_FALSE(tinted->isTemplate());
    EXPECT_FALSE(tinted->bitmaps().empty());  // drawn into its own pixels
    EXPECT_EQ(tinted->size(), plain->size());
}

TEST_F(ViewsFixture, ProgressBarClampsAndKeepsAStub) {
    auto bar = add(std::make_shared<ModernProgressView>(Rect(166, 86, 122, 8)));
    struct Case {
        double progress;
        double fillWidth;
        double knobX;
    };
    for (Case c : {Case{0, 4, -7}, Case{-0.5, 4, -7}, Case{0.5, 61, 54}, Case{1.7, 122, 115}}) {
        bar->setProgress(c.progress);
        EXPECT_DOUBLE_EQ(bar->fillLayer().frame().width(), c.fillWidth) << c.progress;
        EXPECT_DOUBLE_EQ(bar->knobLayer().frame().minX(), c.knobX) << c.progress;
    }
    EXPECT_EQ(bar->trackLayer().frame(), Rect(0, 2, 122, 4));
    bar->setEnabled(false);
    EXPECT_DOUBLE_EQ(bar->trackLayer().opacity(), 0.5);
    EXPECT_DOUBLE_EQ(bar->fillLayer().opacity(), 0.5);
}

TEST_F(ViewsFixture, ProgressBarReportsClampedFractionsAndNothingWhenDisabled) {
    auto bar = add(std::make_shared<ModernProgressView>(Rect(166, 86, 122, 8)));
    std::vector<double> sent;
    bar->onSeek = [&](double f) { sent.push_back(f); };
    EventDriver driver(*window);
    driver.click(windowPoint(*bar, {0, 4}));
    driver.click(windowPoint(*bar, {121.95, 4}));  // the last point inside the bar
    driver.click(windowPoint(*bar, {61, 4}));
    ASSERT_EQ(sent.size(), 3u);  // one report per click
    EXPECT_DOUBLE_EQ(sent[0], 0);
    EXPECT_NEAR(sent[1], 1, 1e-3);
    EXPECT_DOUBLE_EQ(sent[2], 0.5);
    sent.clear();
    driver.press(windowPoint(*bar, {61, 4}));
    driver.drag(windowPoint(*bar, {-50, 4}));
    driver.drag(windowPoint(*bar, {500, 4}));
    driver.release(windowPoint(*bar, {500, 4}));
    EXPECT_EQ(sent, (std::vector<double>{0, 1}));
    sent.clear();
    bar->setEnabled(false);
    driver.click(windowPoint(*bar, {30, 4}));
    EXPECT_TRUE(sent.empty());
    EXPECT_FALSE(bar->isDragging());
}

TEST_F(ViewsFixture, ReleaseOutsideTheBarDropsHoverAndKnob) {
    auto bar = add(std::make_shared<ModernProgressView>(Rect(166, 86, 122, 8)));
    EventDriver driver(*window);
    driver.moveTo(windowPoint(*bar, {30, 4}));
    EXPECT_TRUE(bar->isHovering());
    EXPECT_DOUBLE_EQ(bar->knobLayer().opacity(), 1);
    driver.press(windowPoint(*bar, {30, 4}));
    driver.drag(windowPoint(*bar, {30, 80}));  // far above the bar
    EXPECT_TRUE(bar->isHovering());            // kept while dragging
    driver.release(windowPoint(*bar, {30, 80}));
    EXPECT_FALSE(bar->isHovering());
    EXPECT_DOUBLE_EQ(bar->knobLayer().opacity(), 0);
}

TEST_F(ViewsFixture, ZeroWidthBarReportsNoNaN) {
    auto bar = add(std::make_shared<ModernProgressView>(Rect(10, 10, 0, 8)));
    std::vector<double> sent;
    bar->onSeek = [&](double f) { sent.push_back(f); };
    Event down;
    down.type = EventType::MouseDown;
    down.locationInWindow = {10, 14};
    bar->mouseDown(down);
    down.type = EventType::MouseUp;
    bar->mouseUp(down);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FALSE(std::isnan(sent[0]));
    EXPECT_FALSE(std::isnan(bar->knobLayer().frame().minX()));
}

TEST_F(ViewsFixture, EqualizerRunsOneTimerWhilePlayingAndRests) {
    auto eq = add(std::make_shared<DotMatrixEqualizerView>(Rect(294, 122, 30, 20)));
    ASSERT_EQ(eq->barLayers().size(), 5u);
    EXPECT_EQ(eq->barLayers()[2]->frame(), Rect(10, 0, 2, 20));
    EXPECT_EQ(eq->barLayers()[0]->sublayers()[4]->frame(), Rect(0, 16, 2, 2));
    int levels = 0;
    eq->setLevelSource([&] { return levels++ % 5; });
    eq->setPlaying(true);
    eq->setPlaying(true);
    EXPECT_TRUE(eq->hasTimer());
    EXPECT_EQ(gauge("equalizer_timer_active"), 1);
    platform.loop.advance(std::chrono::milliseconds(150));
    platform.loop.runUntilIdle();
    EXPECT_EQ(levels, 5);                                   // one tick: one level per column
    const auto& column3 = eq->barLayers()[3]->sublayers();  // level 3
    EXPECT_DOUBLE_EQ(column3[3]->opacity(), 1.0);
    EXPECT_DOUBLE_EQ(column3[4]->opacity(), 0.2);
    eq->setPlaying(false);
    EXPECT_FALSE(eq->hasTimer());
    EXPECT_EQ(gauge("equalizer_timer_active"), 0);
    for (const auto& column : eq->barLayers()) {
        EXPECT_DOUBLE_EQ(column->sublayers()[0]->opacity(), 0.6);
        EXPECT_DOUBLE_EQ(column->sublayers()[1]->opacity(), 0.2);
    }
    platform.loop.advance(std::chrono::seconds(1));
    platform.loop.runUntilIdle();
    EXPECT_EQ(levels, 5);
}

TEST_F(ViewsFixture, EqualizerDiscardedWhilePlayingClearsTheGauge) {
    {
        DotMatrixEqualizerView eq(Rect(0, 0, 30, 20));
        eq.setPlaying(true);
        EXPECT_EQ(gauge("equalizer_timer_active"), 1);
    }
    EXPECT_EQ(gauge("equalizer_timer_active"), 0);
    platform.loop.advance(std::chrono::seconds(1));
    platform.loop.runUntilIdle();  // the timer of the gone view does nothing
}

TEST_F(ViewsFixture, BadgeBySourceKey) {
    struct Case {
        const char* key;
        const char* symbol;
        Color color;
        double size;
    };
    const Case cases[] = {
        {"spotify", "wave.3.right", Color::calibratedRGB(0.11, 0.73, 0.33), 10},
        {"My-SpOtIfY-Connect", "wave.3.right", Color::calibratedRGB(0.11, 0.73, 0.33), 10},
        {"apple_music", "music.note", Color::system(SystemColor::Red), 10},
        {"youtube", "play.fill", Color::calibratedRGB(0.9, 0.08, 0.08), 8},
        {"", "speaker.wave.2.fill", Color::system(SystemColor::Gray), 8},
        {"local-library", "speaker.wave.2.fill", Color::system(SystemColor::Gray), 8},
    };
    for (const Case& c : cases) {
        auto badge = PlayerCardView::badgeFor(c.key);
        EXPECT_STREQ(badge.symbol, c.symbol) << c.key;
        EXPECT_EQ(badge.color, c.color) << c.key;
        EXPECT_DOUBLE_EQ(badge.symbolSize, c.size) << c.key;
    }
}

TEST_F(ViewsFixture, CardReportsInteractionBeforeEachAction) {
    auto card = add(std::make_shared<PlayerCardView>());
    std::vector<std::string> calls;
    card->onUserInteraction = [&] { calls.push_back("touch"); };
    card->onPlayPause = [&] { calls.push_back("play"); };
    card->onVolume = [&](double) { calls.push_back("volume"); };
    card->onSelectPlayer = [&](const std::string& key) { calls.push_back(key); };
    EventDriver driver(*window);
    driver.click(windowPoint(card->playButton(), {22, 22}));
    driver.click(windowPoint(card->volume(), {40, 4}));
    EXPECT_EQ(calls, (std::vector<std::string>{"touch", "play", "touch", "volume"}));
    calls.clear();
    card->configureStopped({});
    window->contentView()->layoutSubtreeIfNeeded();
    EXPECT_TRUE(card->playButton().isHidden());
    EXPECT_TRUE(card->sourceBadgeView().isHidden());
    driver.click(windowPoint(*card->launcherButtons()[1], {16, 16}));
    EXPECT_EQ(calls, (std::vector<std::string>{"touch", "SPOTIFY"}));
}

TEST_F(ViewsFixture, ConfigurePlayingFillsTheCard) {
    auto card = add(std::make_shared<PlayerCardView>());
    PlayerCardView::Playing p;
    p.title = "Blue Train";
    p.artist = "John Coltrane";
    p.isPlaying = true;
    p.serviceKey = "spotify";
    p.canSeek = false;
    p.positionText = "1:00";
    p.durationText = "4:00";
    p.progressFraction = 0.25;
    p.volumeFraction = 0.4;
    p.accent = Color::calibratedRGB(0.88, 0.12, 0.20);
    card->configurePlaying(p);
    EXPECT_EQ(card->playButton().symbolName(), "pause.fill");
    EXPECT_FALSE(card->progress().isEnabled());
    EXPECT_TRUE(card->volume().isEnabled());
    EXPECT_DOUBLE_EQ(card->volume().progress(), 0.4);
    EXPECT_TRUE(card->equalizer().isPlaying());
    EXPECT_FALSE(card->sourceBadgeView().isHidden());
    EXPECT_EQ(card->sourceBadgeView().frame(), Rect(94, 54, 20, 20));
    EXPECT_EQ(card->progress().frame(), Rect(166, 86, 122, 8));
    EXPECT_TRUE(card->stoppedContainer().isHidden());
}

TEST_F(ViewsFixture, IconButtonScalesAndDims) {
    auto button = add(std::make_shared<MusicIconButton>("play.fill", Rect(10, 10, 44, 44), true));
    EXPECT_DOUBLE_EQ(button->layer()->cornerRadius(), 22);
    EXPECT_EQ(button->bgLayer()->backgroundColor(), musicAccentRed);
    EventDriver driver(*window);
    driver.moveTo({30, 30});
    EXPECT_TRUE(button->isHovering());
    EXPECT_DOUBLE_EQ(button->layer()->transform().x, 1.07);
    driver.press({30, 30});
    EXPECT_DOUBLE_EQ(button->layer()->transform().x, 0.88);
    ASSERT_NE(button->layer()->animation(LayerProperty::Transform), nullptr);
    EXPECT_DOUBLE_EQ(button->layer()->animation(LayerProperty::Transform)->duration, 0.15);
    driver.release({30, 30});
    EXPECT_DOUBLE_EQ(button->layer()->transform().x, 1.07);
    button->setSymbol("no.such.symbol");
    EXPECT_EQ(button->image()->symbol()->name, "play.fill");  // kept
    button->setEnabled(false);
    EXPECT_DOUBLE_EQ(button->layer()->opacity(), 0.35);
}

TEST_F(ViewsFixture, CompactStripKeepsItsTitleWidth) {
    auto strip = add(std::make_shared<NotchCompactView>(Rect(0, 0, 300, 32)));
    strip->setProgressFraction(0.5);
    EXPECT_EQ(strip->progressLayer().frame(), Rect(8, 2, 142, 2));
    EXPECT_EQ(strip->titleLabel().frame(), Rect(32, 9, 155, 14));
    strip->setTrackTitle("Blue Train");
    EXPECT_EQ(strip->titleLabel().stringValue(), "Blue Train");
}

}  // namespace
}  // namespace corvix

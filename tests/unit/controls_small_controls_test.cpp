#include <gtest/gtest.h>

#include "controls/ActionView.h"
#include "controls/FirstMouseColorWell.h"
#include "controls/MusicArtworkView.h"
#include "controls/MusicPanelView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "platform/PlatformServices.h"
#include "platform/testing/HeadlessUi.h"
#include "platform/testing/RecordingGraphicsContext.h"
#include "platform/testing/VirtualRunLoop.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/ViewRenderer.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

// A borderless (never key) window, as a menu's: only first-mouse views take clicks.
struct Host {
    std::shared_ptr<Window> window =
        std::make_shared<Window>(Rect(0, 0, 326, 40), WindowStyleBorderless);
    EventDriver driver{*window};

    template <typename V>
    std::shared_ptr<V> add(std::shared_ptr<V> view) {
        window->contentView()->addSubview(view);
        window->contentView()->layoutSubtreeIfNeeded();
        return view;
    }
};

TEST(ToggleSwitchTest, ClickFlipsAndSendsOnlyWhenEnabled) {
    struct Case {
        bool enabled;
        bool expectOn;
        int expectSent;
    };
    for (Case c : {Case{true, true, 1}, Case{false, false, 0}}) {
        Host host;
        auto sw = host.add(std::make_shared<OrbeluneToggleSwitch>(Rect(268, 4, 44, 24)));
        sw->setEnabled(c.enabled);
        int sent = 0;
        auto target = ButtonTarget::make([&] { ++sent; });
        sw->setTarget(target);
        host.driver.click({280, 16});
        EXPECT_EQ(sw->isOn(), c.expectOn);
        EXPECT_EQ(sw->accessibilityValue(), AccessibilityValue(c.expectOn ? 1.0 : 0.0));
        EXPECT_EQ(sent, c.expectSent);
    }
}

TEST(ToggleSwitchTest, ProgrammaticAssignmentRedrawsWithoutAction) {
    OrbeluneToggleSwitch sw(Rect(0, 0, 44, 24));
    int sent = 0;
    auto target = ButtonTarget::make([&] { ++sent; });
    sw.setTarget(target);
    int before = sw.displayRequestCount();
    sw.setOn(true);
    EXPECT_GT(sw.displayRequestCount(), before);
    EXPECT_EQ(sw.accessibilityValue(), AccessibilityValue(1.0));
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(sw.accessibilityRole(), AccessibilityRole::CheckBox);
}

TEST(ToggleSwitchTest, ControlWhoseTargetIsGoneSendsNothing) {
    Host host;
    auto sw = host.add(std::make_shared<OrbeluneToggleSwitch>(Rect(0, 0, 44, 24)));
    int sent = 0;
    {
        auto target = ButtonTarget::make([&] { ++sent; });
        sw->setTarget(target);
    }
    host.driver.click({10, 10});
    EXPECT_TRUE(sw->isOn());
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(sw->sendAction());
}

TEST(ToggleSwitchTest, DrawsGreenTrackAndKnobOnTheRightWhenOn) {
    OrbeluneToggleSwitch sw(Rect(0, 0, 44, 24));
    for (bool on : {false, true}) {
        sw.setOn(on);
        RecordingGraphicsContext ctx;
        sw.draw(ctx, sw.bounds());
        auto shapes = ctx.shapes();
        ASSERT_FALSE(shapes.empty());
        EXPECT_EQ(shapes[0].path, Path::roundedRect({1, 1, 42, 22}, 11, 11));
        EXPECT_EQ(shapes[0].color.systemName(), on ? SystemColor::Green : SystemColor::Control);
        const DrawCall& knob = shapes[on ? 1 : 2];
        EXPECT_EQ(knob.path.kind(), Path::Kind::Ellipse);
        EXPECT_EQ(knob.path.rect(), on ? Rect(23, 3, 18, 18) : Rect(3, 3, 18, 18));
    }
}

struct ActionHost : Host {
    std::shared_ptr<ActionView> view = add(std::make_shared<ActionView>(Rect(0, 0, 326, 30)));
    int actions = 0;
    ActionHost() {
        view->onAction = [this] { ++actions; };
    }
};

TEST(ActionViewTest, ClickInsideRunsTheCallbackOnce) {
    ActionHost h;
    h.driver.click({100, 15});
    EXPECT_EQ(h.actions, 1);
    EXPECT_FALSE(h.view->isPressed());
    EXPECT_TRUE(h.view->isHovering());
}

TEST(ActionViewTest, ReleaseOutsideRunsNothingAndRestoresTheLook) {
    ActionHost h;
    h.view->setFillColor(Color::white());
    h.view->setHoverFillColor(Color::black());
    h.driver.moveTo({100, 15});
    h.driver.press({100, 15});
    EXPECT_TRUE(h.view->isPressed());
    h.driver.release({400, 15});  // outside the window too: no drag crossed the edge
    EXPECT_EQ(h.actions, 0);
    EXPECT_FALSE(h.view->isPressed());
    EXPECT_EQ(h.view->backgroundLayer().transform(), (Scale3D{1, 1, 1}));
}

TEST(ActionViewTest, PointerLeavingWhilePressedCancelsTheClick) {
    ActionHost h;
    h.view->setFillColor(Color::white());
    h.view->setHoverFillColor(Color::black());
    h.driver.moveTo({100, 15});
    h.driver.press({100, 15});
    h.driver.drag({100, 60});
    EXPECT_FALSE(h.view->isHovering());
    EXPECT_FALSE(h.view->isPressed());
    EXPECT_EQ(h.view->backgroundLayer().backgroundColor(), Color::white());
    h.driver.drag({100, 15});
    h.driver.release({100, 15});
    EXPECT_EQ(h.actions, 0);
}

TEST(ActionViewTest, OnlyFillColourIsKeptInEveryStateAndPressShrinks) {
    VirtualRunLoop loop;
    PlatformServices services;
    services.runLoop = &loop;
    installPlatformServices(services);
    ActionHost h;
    Color fill = Color::calibratedRGB(0.2, 0.4, 0.6);
    h.view->setFillColor(fill);
    Layer& bg = h.view->backgroundLayer();
    EXPECT_EQ(bg.backgroundColor(), fill);
    EXPECT_EQ(bg.opacity(), 1);
    EXPECT_EQ(bg.borderWidth(), 0);
    EXPECT_EQ(bg.frame(), Rect(6, 3, 314, 24));

    h.driver.moveTo({50, 15});
    EXPECT_EQ(bg.backgroundColor(), fill);
    h.driver.press({50, 15});
    EXPECT_EQ(bg.backgroundColor(), fill);
    EXPECT_EQ(bg.transform(), (Scale3D{0.975, 0.975, 1}));
    const LayerAnimation* shrink = bg.animation(LayerProperty::Transform);
    ASSERT_NE(shrink, nullptr);
    EXPECT_DOUBLE_EQ(shrink->duration, 0.05);
    EXPECT_EQ(shrink->timing, ActionView::kTiming);
    h.driver.release({50, 15});
    EXPECT_EQ(bg.transform(), (Scale3D{1, 1, 1}));
    EXPECT_DOUBLE_EQ(bg.animation(LayerProperty::Transform)->duration, 0.1);
    installPlatformServices({});
}

TEST(ActionViewTest, WithoutColoursItDrawsNothingButStillClicks) {
    ActionHost h;
    EXPECT_EQ(h.view->backgroundLayer().opacity(), 0);
    RecordingGraphicsContext ctx;
    renderViewTree(*h.window->contentView(), ctx, Duration{0});
    EXPECT_TRUE(ctx.shapes().empty());
    h.driver.click({10, 10});
    EXPECT_EQ(h.actions, 1);
}

TEST(ActionViewTest, AHighlightedMenuRowShowsTheHoverLookUntilBothHoverAndHighlightEnd) {
    ActionHost h;
    h.view->setFillColor(Color::white());
    h.view->setHoverFillColor(Color::black());
    auto item = MenuItem::make("Quit");
    item->setView(h.view);
    EXPECT_TRUE(h.view->drawsMenuItemHighlight());
    item->setHighlighted(true);
    EXPECT_EQ(h.view->backgroundLayer().backgroundColor(), Color::black());
    // The pointer passing over and leaving again keeps the keyboard's highlight.
    h.driver.moveTo({100, 15});
    h.driver.moveTo({100, 80});
    EXPECT_EQ(h.view->backgroundLayer().backgroundColor(), Color::black());
    item->setHighlighted(false);
    EXPECT_EQ(h.view->backgroundLayer().backgroundColor(), Color::white());
    // A row given another view while highlighted un-highlights the old one.
    item->setHighlighted(true);
    auto next = std::make_shared<ActionView>(Rect(0, 0, 326, 30));
    item->setView(next);
    EXPECT_FALSE(h.view->isMenuItemHighlighted());
    EXPECT_TRUE(next->isMenuItemHighlighted());
}

TEST(ActionViewTest, ColourSettersApplyWithoutAnimation) {
    ActionView view(Rect(0, 0, 100, 30));
    view.setHoverFillColor(Color::white());
    view.setFillColor(Color::black());
    EXPECT_TRUE(view.backgroundLayer().animations().empty());
    view.setCornerRadius(8);
    EXPECT_EQ(view.backgroundLayer().cornerRadius(), 8);
}

TEST(MusicPanelViewTest, FillsTheInsetRoundedRect) {
    struct Case {
        EdgeInsets inset;
        std::optional<Color> stroke;
        Rect expected;
    };
    const Case cases[] = {
        {{4, 8, 4, 8}, std::nullopt, Rect(8, 4, 84, 32)},
        {{0, 0, 0, 0}, std::nullopt, Rect(0, 0, 100, 40)},
        {{4, 8, 4, 8}, Color::black(), Rect(8, 4, 84, 32)},
        {{1, 2, 3, 4}, std::nullopt, Rect(2, 3, 94, 36)},
    };
    for (const auto& c : cases) {
        MusicPanelView panel(Rect(0, 0, 100, 40));
        panel.fillColor = Color::white();
        panel.inset = c.inset;
        panel.strokeColor = c.stroke;
        RecordingGraphicsContext ctx;
        panel.draw(ctx, panel.bounds());
        auto shapes = ctx.shapes();
        ASSERT_EQ(shapes.size(), c.stroke ? 2u : 1u);
        EXPECT_EQ(shapes[0].path, Path::roundedRect(c.expected, 12, 12));
        EXPECT_EQ(shapes[0].color, Color::white());
        if (c.stroke) {
            EXPECT_EQ(shapes[1].kind, DrawCall::Kind::Stroke);
            EXPECT_DOUBLE_EQ(shapes[1].lineWidth, 0.6);
        }
    }
}

TEST(MusicPanelViewTest, AssigningFieldsDoesNotRedraw) {
    MusicPanelView panel(Rect(0, 0, 100, 40));
    int before = panel.displayRequestCount();
    panel.fillColor = Color::black();
    panel.cornerRadius = 3;
    EXPECT_EQ(panel.displayRequestCount(), before);
}

TEST(CacheKeyTest, WholeNumbersKeepAFractionAndObjectsDiffer) {
    auto a = std::make_shared<Image>(Size{128, 64.5});
    auto b = std::make_shared<Image>(Size{128, 64.5});
    std::string key = cacheKey(*a);
    EXPECT_EQ(key.rfind("128.0x64.5-", 0), 0u) << key;
    EXPECT_NE(cacheKey(*a), cacheKey(*b));
    EXPECT_EQ(cacheKey(*a), cacheKey(*a));
}

TEST(MusicArtworkViewTest, ImageUpdatesFollowTheirRules) {
    VirtualRunLoop loop;
    PlatformServices services;
    services.runLoop = &loop;
    installPlatformServices(services);
    MusicArtworkView view(Rect(0, 0, 56, 56));
    auto first = std::make_shared<Image>(Size{128, 128});
    auto second = std::make_shared<Image>(Size{128, 128});

    view.setImage(first);
    EXPECT_EQ(view.imageLayer().contents(), first);
    EXPECT_EQ(view.imageLayer().opacity(), 1);
    EXPECT_EQ(view.fallbackLayer().opacity(), 0);
    EXPECT_EQ(view.imageLayer().animation(LayerProperty::Opacity), nullptr);

    int redraws = view.displayRequestCount();
    view.setImage(first);
    EXPECT_EQ(view.displayRequestCount(), redraws);
    EXPECT_EQ(view.imageLayer().animation(LayerProperty::Opacity), nullptr);

    loop.advance(std::chrono::seconds(1));
    view.setImage(second);
    EXPECT_EQ(view.imageLayer().contents(), second);
    EXPECT_GT(view.displayRequestCount(), redraws);

    view.setImage(nullptr);
    EXPECT_EQ(view.imageLayer().opacity(), 0);
    EXPECT_EQ(view.fallbackLayer().opacity(), 1);
    EXPECT_EQ(view.imageLayer().contents(), second);  // kept, hidden
    EXPECT_EQ(view.fallbackLayer().animation(LayerProperty::Opacity), nullptr);
    installPlatformServices({});
}

TEST(MusicArtworkViewTest, DifferentImageCrossFadesOverPointThreeSeconds) {
    VirtualRunLoop loop;
    PlatformServices services;
    services.runLoop = &loop;
    installPlatformServices(services);
    MusicArtworkView view(Rect(0, 0, 56, 56));
    auto first = std::make_shared<Image>(Size{10, 10});
    auto second = std::make_shared<Image>(Size{12, 12});
    view.setImage(first);
    EXPECT_EQ(view.imageLayer().animation(LayerProperty::Contents), nullptr);
    view.setImage(second);
    const LayerAnimation* a = view.imageLayer().animation(LayerProperty::Contents);
    ASSERT_NE(a, nullptr);
    EXPECT_DOUBLE_EQ(a->duration, 0.3);
    EXPECT_EQ(a->timing, TimingFunction::easeInEaseOut());

    loop.advance(std::chrono::milliseconds(150));
    LayerState mid = view.imageLayer().presentation(loop.now());
    EXPECT_EQ(mid.fadingContents, first);
    EXPECT_NEAR(mid.contentsFade, 0.5, 0.01);
    loop.advance(std::chrono::milliseconds(200));
    EXPECT_EQ(view.imageLayer().presentation(loop.now()).fadingContents, nullptr);
    installPlatformServices({});
}

TEST(MusicArtworkViewTest, FallbackDrawingWithoutImage) {
    MusicArtworkView view(Rect(0, 0, 56, 56));
    view.setFallback(std::make_shared<Image>(Size{16, 16}));
    RecordingGraphicsContext ctx;
    view.draw(ctx, view.bounds());
    auto shapes = ctx.shapes();
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0].path, Path::rect({1, 1, 54, 54}));
    EXPECT_DOUBLE_EQ(shapes[0].color.whiteComponent(), 0.08);
    EXPECT_EQ(shapes[1].path, Path::ellipse({-9, -11, 74, 78}));
    EXPECT_DOUBLE_EQ(shapes[1].color.alphaComponent(), 0.38);
    EXPECT_EQ(shapes[2].path, Path::roundedRect({1, 1, 54, 54}, 10, 10));
    auto images = ctx.ofKind(DrawCall::Kind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].rect, Rect(15, 15, 26, 26));
    EXPECT_DOUBLE_EQ(images[0].value, 0.9);
    EXPECT_EQ(images[0].tint, Color::white());  // a template fallback is white on the dark tile

    view.setImage(std::make_shared<Image>(Size{10, 10}));
    RecordingGraphicsContext withImage;
    view.draw(withImage, view.bounds());
    EXPECT_EQ(withImage.shapes().size(), 1u);  // only the outline
}

TEST(FirstMouseColorWellTest, TakesTheFirstClickUnlikeThePlainWell) {
    Event e;
    EXPECT_TRUE(FirstMouseColorWell(Rect(0, 0, 30, 20)).acceptsFirstMouse(e));
    EXPECT_FALSE(ColorWell(Rect(0, 0, 30, 20)).acceptsFirstMouse(e));
}

}  // namespace
}  // namespace corvix

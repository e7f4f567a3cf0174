#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "controls/InlineColorControls.h"
#include "platform/testing/HeadlessUi.h"
#include "platform/testing/RecordingGraphicsContext.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

using Report = std::tuple<double, double, bool>;

/// A window with one picker (or button) at (0, 0) as its focused content.
template <typename V>
struct Focused {
    explicit Focused(std::shared_ptr<V> v) : view(std::move(v)) {
        root->addSubview(view);
        root->setHostWindow(&window);
        router.setRoot(root);
        window.makeFirstResponder(view.get());
    }
    ~Focused() { root->setHostWindow(nullptr); }

    std::shared_ptr<V> view;
    std::shared_ptr<View> root = std::make_shared<View>(Rect(0, 0, 216, 48));
    Window window{Rect(0, 0, 216, 48), WindowStyleBorderless};
    EventRouter router{&window};
};

TEST(InlineColorPickerTest, PointsMapToHueAcrossAndSaturationUpClampedToTheField) {
    std::vector<Report> reports;
    auto picker = std::make_shared<InlineColorPickerView>(
        0, 100, [&](double h, double s, bool final) { reports.emplace_back(h, s, final); });
    EXPECT_EQ(picker->frame(), Rect(0, 0, 216, 48));
    EXPECT_EQ(picker->intrinsicContentSize(), (Size{216, 48}));
    EXPECT_EQ(picker->fieldRect(), Rect(6, 8, 204, 32));
    EXPECT_EQ(picker->accessibilityRole(), AccessibilityRole::Slider);
    EXPECT_EQ(picker->accessibilityLabel(), "Color");

    Focused<InlineColorPickerView> hosted(picker);
    EventDriver driver(hosted.router);
    driver.press({57, 24});      // a quarter across, half up
    driver.drag({-40, 90});      // outside: hue 0, saturation 100
    driver.release({400, -10});  // outside the other way
    EXPECT_EQ(reports, (std::vector<Report>{{90, 50, false}, {0, 100, false}, {360, 0, true}}));
    EXPECT_EQ(picker->markerCenter(), (Point{210, 8}));
    EXPECT_EQ(hosted.window.firstResponder(), picker.get());
}

TEST(InlineColorPickerTest, KeysStepClampAndReportFinalValues) {
    const struct {
        KeyCode key;
        unsigned modifiers;
        double hue, saturation;
    } cases[] = {
        {KeyCode::LeftArrow, ModifierNone, 175, 40},  {KeyCode::LeftArrow, ModifierShift, 165, 40},
        {KeyCode::RightArrow, ModifierNone, 185, 40}, {KeyCode::RightArrow, ModifierShift, 195, 40},
        {KeyCode::UpArrow, ModifierNone, 180, 45},    {KeyCode::UpArrow, ModifierShift, 180, 50},
        {KeyCode::DownArrow, ModifierNone, 180, 35},  {KeyCode::DownArrow, ModifierShift, 180, 30},
        {KeyCode::Home, ModifierNone, 0, 40},         {KeyCode::End, ModifierNone, 360, 40},
    };
    for (const auto& c : cases) {
        std::vector<Report> reports;
        auto picker = std::make_shared<InlineColorPickerView>(
            180, 40, [&](double h, double s, bool final) { reports.emplace_back(h, s, final); });
        Focused<InlineColorPickerView> hosted(picker);
        EventDriver(hosted.router).key(c.key, {}, c.modifiers);
        EXPECT_EQ(reports, (std::vector<Report>{{c.hue, c.saturation, true}}))
            << static_cast<int>(c.key) << " " << c.modifiers;
    }

    std::vector<Report> reports;
    auto picker = std::make_shared<InlineColorPickerView>(
        358, 97, [&](double h, double s, bool final) { reports.emplace_back(h, s, final); });
    Focused<InlineColorPickerView> hosted(picker);
    EventDriver driver(hosted.router);
    driver.key(KeyCode::RightArrow, {}, ModifierShift);
    driver.key(KeyCode::UpArrow, {}, ModifierShift);
    EXPECT_EQ(reports, (std::vector<Report>{{360, 97, true}, {360, 100, true}}));
    // Keys the picker has no use for go up the chain and change nothing.
    driver.key(KeyCode::Escape);
    driver.key(KeyCode::Other, "a");
    EXPECT_EQ(reports.size(), 2u);
}

TEST(InlineColorPickerTest, AccessibilityValuesRoundHalvesAwayFromZero) {
    InlineColorPickerView color(119.6, 50.4, nullptr);
    EXPECT_EQ(color.accessibilityValue(),
              AccessibilityValue(std::string("120 degrees hue, 50 percent saturation")));
    color.setColor(326.5, 0.5);
    EXPECT_EQ(color.accessibilityValue(),
              AccessibilityValue(std::string("327 degrees hue, 1 percent saturation")));
    EXPECT_TRUE(color.accessibilityPerformDecrement());
    EXPECT_EQ(color.hue(), 321.5);
    EXPECT_TRUE(color.accessibilityPerformIncrement());
    EXPECT_TRUE(color.accessibilityPerformIncrement());
    EXPECT_EQ(color.hue(), 331.5);

    InlineTemperaturePickerView temperature(326.5, 153, 500, nullptr);
    EXPECT_EQ(temperature.accessibilityValue(), AccessibilityValue(std::string("327 mireds")));
    EXPECT_EQ(temperature.accessibilityLabel(), "Color temperature");
    EXPECT_TRUE(temperature.accessibilityPerformIncrement());
    EXPECT_EQ(temperature.value(), 316.5);
    temperature.setValue(495);
    EXPECT_TRUE(temperature.accessibilityPerformDecrement());
    EXPECT_EQ(temperature.value(), 500);
}

/// The value-changed notifications posted while it lives, with the value each view had then.
struct PostedValues {
    PostedValues()
        : subscription(View::observeAccessibilityNotifications(
              [this](View& view, AccessibilityNotification notification) {
                  if (notification == AccessibilityNotification::ValueChanged) {
                      posted.emplace_back(&view, view.accessibilityValue());
                  }
              })) {}
    std::vector<std::pair<View*, AccessibilityValue>> posted;
    Subscription subscription;
};

TEST(InlinePickerAccessibilityTest, KeysAndStepsPostTheNewValueButDragsDoNot) {
    PostedValues values;
    std::vector<Report> reports;
    std::vector<std::size_t> postedAtReport;
    auto color =
        std::make_shared<InlineColorPickerView>(180, 40, [&](double h, double s, bool final) {
            postedAtReport.push_back(values.posted.size());
            reports.emplace_back(h, s, final);
        });
    Focused<InlineColorPickerView> hosted(color);
    EventDriver driver(hosted.router);
    driver.key(KeyCode::RightArrow);
    driver.key(KeyCode::End);
    driver.key(KeyCode::End);  // already there: still a change the user asked for
    driver.key(KeyCode::Escape);
    EXPECT_TRUE(color->accessibilityPerformDecrement());
    using Posted = std::vector<std::pair<View*, AccessibilityValue>>;
    const std::string saturation = " degrees hue, 40 percent saturation";
    EXPECT_EQ(values.posted, (Posted{{color.get(), "185" + saturation},
                                     {color.get(), "360" + saturation},
                                     {color.get(), "360" + saturation},
                                     {color.get(), "355" + saturation}}));
    // Each change is reported to the owner before a screen reader hears of it.
    EXPECT_EQ(postedAtReport, (std::vector<std::size_t>{0, 1, 2, 3}));
    values.posted.clear();
    driver.press({10, 10});
    driver.drag({100, 30});
    driver.release({120, 30});
    EXPECT_TRUE(values.posted.empty()) << "a drag is seen, not announced";
    EXPECT_EQ(reports.size(), 7u);

    auto temperature = std::make_shared<InlineTemperaturePickerView>(300, 200, 400, nullptr);
    Focused<InlineTemperaturePickerView> hostedTemperature(temperature);
    EventDriver(hostedTemperature.router).key(KeyCode::UpArrow, {}, ModifierShift);
    EXPECT_TRUE(temperature->accessibilityPerformIncrement());
    EXPECT_EQ(values.posted, (Posted{{temperature.get(), std::string("275 mireds")},
                                     {temperature.get(), std::string("265 mireds")}}));

    // Once the observer is gone nothing more is heard.
    values.subscription.reset();
    values.posted.clear();
    EXPECT_TRUE(temperature->accessibilityPerformDecrement());
    EXPECT_TRUE(values.posted.empty());
}

TEST(InlineTemperaturePickerTest, ADragReportsOnceAtTheReleasePointOnAReversedAxis) {
    std::vector<double> reports;
    auto picker = std::make_shared<InlineTemperaturePickerView>(
        300, 200, 400, [&](double v) { reports.push_back(v); });
    Focused<InlineTemperaturePickerView> hosted(picker);
    EventDriver driver(hosted.router);
    driver.press({6, 10});
    EXPECT_EQ(picker->value(), 400);  // warm on the left
    driver.drag({210, 40});
    EXPECT_EQ(picker->value(), 200);
    EXPECT_EQ(picker->markerCenter(), (Point{210, 24}));
    EXPECT_TRUE(reports.empty());
    driver.release({57, 0});
    EXPECT_EQ(reports, std::vector<double>{350});
}

TEST(InlineTemperaturePickerTest, KeysMoveInMiredsAndClampLowerBoundFirst) {
    const struct {
        KeyCode key;
        unsigned modifiers;
        double value;
    } cases[] = {
        {KeyCode::LeftArrow, ModifierNone, 310},  {KeyCode::LeftArrow, ModifierShift, 325},
        {KeyCode::RightArrow, ModifierNone, 290}, {KeyCode::RightArrow, ModifierShift, 275},
        {KeyCode::UpArrow, ModifierNone, 290},    {KeyCode::UpArrow, ModifierShift, 275},
        {KeyCode::DownArrow, ModifierNone, 310},  {KeyCode::DownArrow, ModifierShift, 325},
        {KeyCode::Home, ModifierNone, 500},       {KeyCode::End, ModifierNone, 153},
    };
    for (const auto& c : cases) {
        std::vector<double> reports;
        auto picker = std::make_shared<InlineTemperaturePickerView>(
            300, 153, 500, [&](double v) { reports.push_back(v); });
        Focused<InlineTemperaturePickerView> hosted(picker);
        EventDriver(hosted.router).key(c.key, {}, c.modifiers);
        EXPECT_EQ(reports, std::vector<double>{c.value}) << static_cast<int>(c.key);
    }
    std::vector<double> reports;
    auto picker = std::make_shared<InlineTemperaturePickerView>(
        160, 153, 500, [&](double v) { reports.push_back(v); });
    Focused<InlineTemperaturePickerView> hosted(picker);
    EventDriver(hosted.router).key(KeyCode::UpArrow, {}, ModifierShift);
    EXPECT_EQ(reports, std::vector<double>{153});
}

TEST(InlineTemperaturePickerTest, DegenerateRangesAndFieldsGiveNoNaN) {
    // One value, or a range the wrong way round: the marker sits in the middle and every
    // point and key gives the maximum.
    for (auto [minimum, maximum] : {std::pair{250.0, 250.0}, std::pair{400.0, 200.0}}) {
        std::vector<double> reports;
        auto picker = std::make_shared<InlineTemperaturePickerView>(
            300, minimum, maximum, [&](double v) { reports.push_back(v); });
        EXPECT_EQ(picker->markerCenter(), (Point{108, 24}));
        Focused<InlineTemperaturePickerView> hosted(picker);
        EventDriver driver(hosted.router);
        driver.press({20, 20});
        driver.release({30, 20});
        driver.key(KeyCode::LeftArrow);
        EXPECT_EQ(reports, (std::vector<double>{maximum, maximum})) << minimum;
        EXPECT_EQ(picker->markerCenter(), (Point{108, 24}));
    }

    // A field with no width or height keeps its value instead of dividing by nothing.
    std::vector<Report> colors;
    auto color = std::make_shared<InlineColorPickerView>(
        120, 30, [&](double h, double s, bool final) { colors.emplace_back(h, s, final); });
    color->setFrame(Rect(0, 0, 10, 12));
    EXPECT_EQ(color->fieldRect(), Rect(6, 8, 0, 0));
    EventRouter router;
    router.setRoot(color);
    EventDriver(router).click({5, 5});
    EXPECT_EQ(colors, (std::vector<Report>{{120, 30, false}, {120, 30, true}}));
    EXPECT_FALSE(std::isnan(color->markerCenter().x));

    std::vector<double> temps;
    auto strip = std::make_shared<InlineTemperaturePickerView>(
        300, 153, 500, [&](double v) { temps.push_back(v); });
    strip->setFrame(Rect(0, 0, 12, 48));
    router.setRoot(strip);
    EventDriver(router).click({5, 5});
    EXPECT_EQ(temps, std::vector<double>{300});
}

TEST(InlineColorPickerTest, TheFieldImageIsBuiltOnceAndOnlyWithRoomForIt) {
    // Columns run through the hues, rows from full saturation at the top to white.
    ImagePtr image = InlineColorPickerView::makeGradient(5, 3);
    ASSERT_NE(image, nullptr);
    const BitmapRep& rep = image->bitmaps().front();
    auto pixel = [&](int x, int y) {
        const auto* p = &rep.pixels[static_cast<std::size_t>((y * 5 + x) * 4)];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(2, 0), (std::vector<int>{0, 255, 255, 255}));
    EXPECT_EQ(pixel(4, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(1, 1), (std::vector<int>{191, 255, 127, 255}));
    EXPECT_EQ(pixel(3, 2), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(InlineColorPickerView::makeGradient(1, 30), nullptr);

    InlineColorPickerView picker(0, 100, nullptr);
    RecordingGraphicsContext first;
    picker.draw(first, picker.bounds());
    ASSERT_NE(picker.cachedGradient(), nullptr);
    EXPECT_EQ(picker.cachedGradient()->largestBitmap()->pixelsWide, 204);
    EXPECT_EQ(picker.cachedGradient()->largestBitmap()->pixelsHigh, 32);
    const Image* built = picker.cachedGradient().get();
    RecordingGraphicsContext second;
    picker.draw(second, picker.bounds());
    ASSERT_EQ(second.ofKind(DrawCall::Kind::Image).size(), 1u);
    EXPECT_EQ(second.ofKind(DrawCall::Kind::Image)[0].image, built);
    EXPECT_EQ(second.ofKind(DrawCall::Kind::Image)[0].rect, Rect(6, 8, 204, 32));

    // Too small a field: the outline and the marker, no image.
    InlineColorPickerView narrow(0, 100, nullptr);
    narrow.setFrame(Rect(0, 0, 13, 48));
    RecordingGraphicsContext small;
    narrow.draw(small, narrow.bounds());
    EXPECT_EQ(narrow.cachedGradient(), nullptr);
    EXPECT_TRUE(small.ofKind(DrawCall::Kind::Image).empty());
    EXPECT_EQ(small.ofKind(DrawCall::Kind::Stroke).size(), 2u);  // outline, marker
}

TEST(InlineColorButtonTest, ClicksSpaceAndReturnPressItWhileTheMenuIsHeld) {
    auto menu = StayOpenMenu::make();
    auto button = std::make_shared<InlineColorButtonView>(InlineColorButtonView::Kind::rgb,
                                                          Rect(0, 0, 18, 18));
    button->stayOpenMenu = menu;
    std::vector<bool> heldDuringClick;
    button->onClick = [&] { heldDuringClick.push_back(menu->isTrackingSuspended); };
    Focused<InlineColorButtonView> hosted(button);
    EventDriver driver(hosted.router);
    driver.click({9, 9});
    driver.key(KeyCode::Space, " ");
    driver.key(KeyCode::Return, "\r");
    driver.key(KeyCode::Enter, "\x03");
    driver.key(KeyCode::Other, "x");
    EXPECT_TRUE(button->accessibilityPerformPress());
    EXPECT_EQ(heldDuringClick, std::vector<bool>(5, true));
    EXPECT_FALSE(menu->isTrackingSuspended);

    // The wheel: 48 slices of full colour; the focus ring only while focused.
    RecordingGraphicsContext wheel;
    button->draw(wheel, button->bounds());
    EXPECT_EQ(wheel.ofKind(DrawCall::Kind::Fill).size(), 48u);
    EXPECT_EQ(wheel.ofKind(DrawCall::Kind::Stroke).size(), 2u);
    hosted.window.makeFirstResponder(nullptr);
    RecordingGraphicsContext unfocused;
    button->draw(unfocused, button->bounds());
    EXPECT_EQ(unfocused.ofKind(DrawCall::Kind::Stroke).size(), 1u);
}

}  // namespace
}  // namespace corvix

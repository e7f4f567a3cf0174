#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "controls/InlineColorControls.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "menu/OrbeluneLightMenuItem.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

using testing::itemTitled;
using Transfer = std::shared_ptr<FakeHttpClient::Transfer>;
using Mode = OrbeluneLightMenuItem::ExpandedMode;

constexpr const char* kFixture = "lights-with-every-control.json";

/// Counts the item changes an open menu is told about.
class CountingSession : public MenuSession {
  public:
    void close(bool) override {}
    void itemChanged(MenuItem&) override { ++changes; }
    void itemsChanged() override {}
    int changes = 0;
};

/// A row shown in a menu window, with its own event router, as the popup hosts it.
struct HostedRow {
    explicit HostedRow(const std::shared_ptr<View>& row) : view(row) {
        row->setHostWindow(&window);
        router.setRoot(row);
    }
    ~HostedRow() { view->setHostWindow(nullptr); }
    EventDriver driver() { return EventDriver(router); }

    std::shared_ptr<View> view;
    Window window{Rect(0, 0, 326, 90), WindowStyleBorderless};
    EventRouter router{&window};
};

JsonObject payloadOf(const Transfer& transfer) {
    auto parsed = parseJson(transfer->request.body.value_or(""));
    EXPECT_TRUE(parsed.ok());
    return parsed.ok() ? parsed.value().as_object().at("payload").as_object() : JsonObject{};
}

class MenuLightItemTest : public ::testing::Test {
  protected:
    void SetUp() override { menu.build(kFixture); }

    OrbeluneLightMenuItem& light(std::string_view name) {
        StayOpenMenu* den = menu.submenu("Den");
        MenuItem* item = den ? itemTitled(*den, name) : nullptr;
        auto* row = dynamic_cast<OrbeluneLightMenuItem*>(item);
        EXPECT_NE(row, nullptr) << name;
        return *row;
    }
    const std::vector<Transfer>& requests() const { return menu.platform.http.transfers(); }
    void answer(const Transfer& transfer, int status, std::string body) {
        menu.platform.http.respond(transfer, status, std::move(body));
        menu.platform.loop.runUntilIdle();
    }
    void flip(OrbeluneToggleSwitch& toggle) {
        testing::clickView(toggle.shared_from_this());
        menu.platform.loop.runUntilIdle();
    }

    testing::MenuHarness menu;
};

TEST_F(MenuLightItemTest, TheRowPlacesItsControlsAndGivesTheNameWhatIsLeft) {
    const struct {
        const char* light;
        bool slider;
        std::optional<Rect> colorButton, tempButton;
        double nameWidth;
    } cases[] = {
        {"Desk Lamp", true, Rect(166, 8, 18, 18), Rect(142, 8, 18, 18), 96},
        {"Globe", false, Rect(166, 8, 18, 18), std::nullopt, 114},
        {"Strip", false, std::nullopt, Rect(166, 8, 18, 18), 120},
        {"Dimmer", true, std::nullopt, std::nullopt, 138},
        {"Porch", false, std::nullopt, std::nullopt, 138},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.light);
        OrbeluneLightMenuItem& row = light(c.light);
        EXPECT_EQ(row.title(), c.light);
        EXPECT_EQ(row.view(), row.containerView);
        EXPECT_EQ(row.containerView->frame(), Rect(0, 0, 326, 34));
        EXPECT_EQ(row.iconView->frame(), Rect(14, 9, 16, 16));
        EXPECT_EQ(row.iconView->image()->accessibilityDescription(), "Light");
        EXPECT_EQ(row.nameLabel->frame(), Rect(40, 8, c.nameWidth, 17));
        EXPECT_EQ(row.toggleSwitch->frame(), Rect(268, 5, 44, 24));
        EXPECT_EQ(row.toggleSwitch->accessibilityLabel(), std::string(c.light) + " power");
        EXPECT_EQ(row.brightnessSlider != nullptr, c.slider);
        if (row.brightnessSlider) {
            EXPECT_EQ(row.brightnessSlider->frame(), Rect(192, 7, 68, 22));
            EXPECT_EQ(row.brightnessSlider->stayOpenMenu.lock(), menu.root);
        }
        EXPECT_EQ(row.colorButton ? std::optional(row.colorButton->frame()) : std::nullopt,
                  c.colorButton);
        EXPECT_EQ(row.tempButton ? std::optional(row.tempButton->frame()) : std::nullopt,
                  c.tempButton);
        // Shown only while the light is on.
        for (const auto& control : row.powerDependentControls) {
            EXPECT_EQ(control->isHidden(), !row.toggleSwitch->isOn());
        }
    }
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    EXPECT_EQ(desk.brightnessSlider->doubleValue(), 40);
    EXPECT_EQ(desk.colorButton->kind(), InlineColorButtonView::Kind::rgb);
    EXPECT_EQ(desk.colorButton->accessibilityLabel(), "Desk Lamp color");
    EXPECT_EQ(desk.tempButton->kind(), InlineColorButtonView::Kind::temperature);
    EXPECT_EQ(desk.tempButton->accessibilityLabel(), "Desk Lamp color temperature");
}

TEST_F(MenuLightItemTest, AColourButtonGrowsTheRowAroundItsPickerAndShrinksItAgain) {
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    CountingSession session;
    menu.submenu("Den")->willOpen(&session);

    desk.colorButton->performClick();
    EXPECT_EQ(desk.expandedMode, Mode::color);
    EXPECT_EQ(desk.containerView->frame(), Rect(0, 0, 326, 90));
    ASSERT_NE(desk.pickerView, nullptr);
    auto* colorPicker = dynamic_cast<InlineColorPickerView*>(desk.pickerView.get());
    ASSERT_NE(colorPicker, nullptr);
    std::weak_ptr<InlinePickerView> firstPicker = desk.pickerView;
    EXPECT_EQ(colorPicker->frame(), Rect(55, 4, 216, 48));
    EXPECT_EQ(colorPicker->hue(), 200);
    EXPECT_EQ(colorPicker->saturation(), 80);
    EXPECT_EQ(colorPicker->accessibilityLabel(), "Desk Lamp color picker");
    EXPECT_EQ(colorPicker->stayOpenMenu.lock(), menu.root);
    // The controls move up by 56 above the picker.
    EXPECT_EQ(desk.iconView->frame(), Rect(14, 65, 16, 16));
    EXPECT_EQ(desk.nameLabel->frame(), Rect(40, 64, 96, 17));
    EXPECT_EQ(desk.toggleSwitch->frame(), Rect(268, 61, 44, 24));
    EXPECT_EQ(desk.brightnessSlider->frame(), Rect(192, 63, 68, 22));
    EXPECT_EQ(desk.colorButton->frame(), Rect(166, 64, 18, 18));
    EXPECT_EQ(desk.tempButton->frame(), Rect(142, 64, 18, 18));
    EXPECT_EQ(session.changes, 1);

    // The other button swaps the picker without collapsing.
    desk.tempButton->performClick();
    EXPECT_EQ(desk.containerView->frame().height(), 90);
    auto* tempPicker = dynamic_cast<InlineTemperaturePickerView*>(desk.pickerView.get());
    ASSERT_NE(tempPicker, nullptr);
    EXPECT_EQ(desk.containerView->subviews().back(), desk.pickerView);
    EXPECT_TRUE(firstPicker.expired());
    EXPECT_EQ(tempPicker->minValue(), 153);
    EXPECT_EQ(tempPicker->maxValue(), 500);
    EXPECT_EQ(tempPicker->value(), 326.5);
    EXPECT_EQ(tempPicker->accessibilityLabel(), "Desk Lamp color temperature picker");
    EXPECT_EQ(tempPicker->accessibilityValue(), AccessibilityValue(std::string("327 mireds")));

    desk.tempButton->performClick();
    EXPECT_EQ(desk.expandedMode, Mode::none);
    EXPECT_EQ(desk.pickerView, nullptr);
    EXPECT_EQ(desk.containerView->frame(), Rect(0, 0, 326, 34));
    EXPECT_EQ(desk.toggleSwitch->frame(), Rect(268, 5, 44, 24));
    EXPECT_EQ(session.changes, 3);
    EXPECT_TRUE(requests().empty());

    // An off light's buttons are hidden and do nothing.
    OrbeluneLightMenuItem& globe = light("Globe");
    globe.colorButton->performClick();
    EXPECT_EQ(globe.expandedMode, Mode::none);
    EXPECT_EQ(globe.containerView->frame().height(), 34);
}

TEST_F(MenuLightItemTest, ATemperatureDragSendsOneRequestOnRelease) {
    OrbeluneLightMenuItem& strip = light("Strip");
    strip.tempButton->performClick();
    HostedRow hosted(strip.containerView);
    // The field spans x 61...265 in the row; 200...400 mireds from right to left.
    auto driver = hosted.driver();
    driver.press({100, 28});
    driver.drag({150, 28});
    driver.drag({300, 28});  // past the end: clamps to the minimum
    EXPECT_TRUE(requests().empty());
    driver.release({214, 28});  // three quarters across
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(requests()[0]->request.url.ends_with("/devices/strip/commands/set_ct/run"));
    EXPECT_EQ(payloadOf(requests()[0]), (JsonObject{{"ct", 250},
                                                    {"colorTemp", 250},
                                                    {"colorTemperature", 250},
                                                    {"mireds", 250},
                                                    {"value", 250}}));
    answer(requests()[0], 200, "{}");
    EXPECT_EQ(menu.refreshes, 1);
}

TEST_F(MenuLightItemTest, AColourReleaseSendsTheHueAndSaturationOfItsPoint) {
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    desk.colorButton->performClick();
    HostedRow hosted(desk.containerView);
    auto driver = hosted.driver();
    // Field (61, 12, 204, 32): a quarter across is hue 90, half up saturation 50.
    driver.press({70, 14});
    driver.drag({90, 20});
    EXPECT_TRUE(requests().empty());  // drag steps are not sent
    driver.release({112, 28});
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(requests()[0]->request.url.ends_with("/devices/lamp-desk/commands/set_color/run"));
    const JsonObject payload = payloadOf(requests()[0]);
    EXPECT_NEAR(payload.at("hue").to_number<double>(), 90, 0.5);
    EXPECT_NEAR(payload.at("saturation").to_number<double>(), 50, 0.5);
    EXPECT_NEAR(payload.at("sat").to_number<double>(), 50, 0.5);
    EXPECT_EQ(payload.at("rgb"), (json::array{191, 255, 128}));
    EXPECT_EQ(payload.at("hex"), "#BFFF80");
}

TEST_F(MenuLightItemTest, AControlANewerRecordLeavesOutKeepsItsLastFormAndPick) {
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    std::weak_ptr<const JsonObject> first = menu.builder->currentState;
    // The newer record has no colour control: the row keeps the first document's.
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(R"({"rooms":[{"id":"den",
        "name":"Den","devices":[{"id":"lamp-desk","name":"Desk Lamp","kind":"light",
        "power":{"isOn":true,"onItemId":"lamp-desk/on","offItemId":"lamp-desk/off"},
        "brightness":{"value":75,"command":"set_level"}}]}]})")));
    EXPECT_FALSE(first.expired());
    EXPECT_EQ(desk.brightnessSlider->doubleValue(), 75);

    desk.colorButton->performClick();
    auto* picker = dynamic_cast<InlineColorPickerView*>(desk.pickerView.get());
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->hue(), 200);
    {
        HostedRow hosted(desk.containerView);
        auto driver = hosted.driver();
        driver.press({112, 28});
        driver.release({112, 28});
    }
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(requests()[0]->request.url.ends_with("/devices/lamp-desk/commands/set_color/run"));

    // The pick is the row's own until the hub says otherwise; the document is not changed.
    desk.colorButton->performClick();
    desk.colorButton->performClick();
    picker = dynamic_cast<InlineColorPickerView*>(desk.pickerView.get());
    ASSERT_NE(picker, nullptr);
    EXPECT_NEAR(picker->hue(), 90, 0.5);
    const auto firstState = first.lock();
    ASSERT_NE(firstState, nullptr);
    EXPECT_EQ(firstState->at("rooms").at(0).at("devices").at(0).at("color").at("hue"), 200);
}

TEST_F(MenuLightItemTest, KeysReachAFocusedPickerThroughTheRowsEventDispatch) {
    OrbeluneLightMenuItem& strip = light("Strip");
    HostedRow hosted(strip.containerView);
    auto driver = hosted.driver();
    // Space on the focused button opens the picker, which takes the focus.
    hosted.window.makeFirstResponder(strip.tempButton.get());
    driver.key(KeyCode::Space, " ");
    ASSERT_NE(strip.pickerView, nullptr);
    EXPECT_EQ(hosted.window.firstResponder(), strip.pickerView.get());
    driver.key(KeyCode::UpArrow, {}, ModifierShift);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(payloadOf(requests()[0]).at("mireds"), 225);
    answer(requests()[0], 200, "{}");
    driver.key(KeyCode::End);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(payloadOf(requests()[1]).at("mireds"), 200);

    // Closing from the keyboard hands the focus back to the button.
    hosted.window.makeFirstResponder(strip.tempButton.get());
    driver.key(KeyCode::Return, "\r");
    EXPECT_EQ(strip.pickerView, nullptr);
    EXPECT_EQ(strip.containerView->frame().height(), 34);
}

TEST_F(MenuLightItemTest, BrightnessIsSentUnderFourKeysAndSwitchesAnOffLightOnUnlessZero) {
    OrbeluneLightMenuItem& dimmer = light("Dimmer");
    ASSERT_FALSE(dimmer.toggleSwitch->isOn());
    // Dimming to 0 leaves an off light off.
    dimmer.brightnessSlider->setDoubleValue(0.2);
    dimmer.brightnessSlider->sendAction();
    EXPECT_FALSE(dimmer.toggleSwitch->isOn());
    EXPECT_TRUE(dimmer.brightnessSlider->isHidden());
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(payloadOf(requests()[0]),
              (JsonObject{{"brightness", 0}, {"level", 0}, {"value", 0}, {"percent", 0}}));
    answer(requests()[0], 200, "{}");

    dimmer.brightnessSlider->setDoubleValue(63.4);
    dimmer.brightnessSlider->sendAction();
    EXPECT_TRUE(dimmer.toggleSwitch->isOn());
    EXPECT_FALSE(dimmer.brightnessSlider->isHidden());
    // No power command, only the level.
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_TRUE(requests()[1]->request.url.ends_with("/devices/dimmer/commands/set_level/run"));
    EXPECT_EQ(payloadOf(requests()[1]),
              (JsonObject{{"brightness", 63}, {"level", 63}, {"value", 63}, {"percent", 63}}));
}

TEST_F(MenuLightItemTest, AFailedPowerRunPutsTheControlsBackBesideTheSwitch) {
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    desk.colorButton->performClick();
    flip(*desk.toggleSwitch);
    // Switching off closes the picker and hides the controls.
    EXPECT_EQ(desk.expandedMode, Mode::none);
    EXPECT_EQ(desk.containerView->frame().height(), 34);
    EXPECT_TRUE(desk.brightnessSlider->isHidden());
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(requests()[0]->request.url.ends_with("/items/lamp-desk%2Foff/run"));

    answer(requests()[0], 200, R"({"status":false,"message":"Bulb unreachable"})");
    EXPECT_TRUE(desk.toggleSwitch->isOn());
    for (const auto& control : desk.powerDependentControls) {
        EXPECT_FALSE(control->isHidden());
    }
    EXPECT_EQ(menu.alerts.shown.size(), 1u);
}

TEST_F(MenuLightItemTest, APickerKeepsTheWholeMenuOpenUntilReleasedOrRemoved) {
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    StayOpenMenu& den = *menu.submenu("Den");
    desk.colorButton->performClick();
    {
        HostedRow hosted(desk.containerView);
        auto driver = hosted.driver();
        driver.press({100, 20});
        EXPECT_TRUE(menu.root->isTrackingSuspended);
        EXPECT_FALSE(den.isTrackingSuspended);
        driver.release({100, 20});
        EXPECT_FALSE(menu.root->isTrackingSuspended);

        // A newer state turns the light off mid-drag: the picker goes, and so does the hold.
        driver.press({100, 20});
        ASSERT_TRUE(menu.root->isTrackingSuspended);
        desk.toggleSwitch->setOn(false);
        desk.relayout();
        EXPECT_EQ(desk.pickerView, nullptr);
        EXPECT_FALSE(menu.root->isTrackingSuspended);
        driver.release({100, 20});
        EXPECT_FALSE(menu.root->isTrackingSuspended);
    }

    // A whole rebuild drops the row with a picker held outside any window.
    desk.toggleSwitch->setOn(true);
    desk.relayout();  // the picker that was open comes back
    ASSERT_NE(desk.pickerView, nullptr);
    EventRouter router;
    router.setRoot(desk.containerView);
    EventDriver(router).press({100, 20});
    ASSERT_TRUE(menu.root->isTrackingSuspended);
    menu.build(kFixture);
    router.setRoot(nullptr);
    EXPECT_FALSE(menu.root->isTrackingSuspended);
}

TEST_F(MenuLightItemTest, ANewerStateMovesTheRowsControlsInPlace) {
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    desk.colorButton->performClick();
    std::string text = R"({"rooms":[{"id":"den","name":"Den","devices":[
        {"id":"lamp-desk","name":"Desk Lamp","kind":"light",
         "power":{"isOn":true,"onItemId":"lamp-desk/on","offItemId":"lamp-desk/off"},
         "brightness":{"value":75,"command":"set_level"},
         "color":{"command":"set_color","hue":10,"saturation":30},
         "colorTemperature":{"command":"set_ct"}}]}]})";
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    EXPECT_EQ(&light("Desk Lamp"), &desk);
    EXPECT_EQ(desk.brightnessSlider->doubleValue(), 75);
    auto* picker = dynamic_cast<InlineColorPickerView*>(desk.pickerView.get());
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->hue(), 10);
    EXPECT_EQ(picker->saturation(), 30);

    text.replace(text.find("\"isOn\":true"), 11, "\"isOn\":false");
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    EXPECT_FALSE(desk.toggleSwitch->isOn());
    EXPECT_EQ(desk.pickerView, nullptr);
    EXPECT_TRUE(desk.colorButton->isHidden());
    EXPECT_TRUE(requests().empty());
}

TEST_F(MenuLightItemTest, ALightWithoutAPowerControlStillShowsItsControls) {
    OrbeluneLightMenuItem& wash = light("Wash");
    EXPECT_FALSE(wash.toggleSwitch->isEnabled());
    EXPECT_FALSE(wash.brightnessSlider->isHidden());
    wash.brightnessSlider->setDoubleValue(55);
    wash.brightnessSlider->sendAction();
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(payloadOf(requests()[0]).at("level"), 55);
}

/// Releases the open colour picker at a quarter across and half up: hue 90, saturation 50.
void pickColor(OrbeluneLightMenuItem& row) {
    HostedRow hosted(row.containerView);
    auto driver = hosted.driver();
    driver.press({112, 28});
    driver.release({112, 28});
}

double pickedHue(const OrbeluneLightMenuItem& row) {
    auto* picker = dynamic_cast<InlineColorPickerView*>(row.pickerView.get());
    EXPECT_NE(picker, nullptr);
    return picker ? picker->hue() : -1;
}

TEST_F(MenuLightItemTest, ControlsNamingOneCommandEachSendTheirOwnNewestValue) {
    menu.builder->build(*menu.root, testing::stateFromText(R"({"rooms":[{"id":"den",
        "name":"Den","devices":[{"id":"bulb","name":"Bulb","kind":"light",
        "power":{"isOn":true,"toggleItemId":"bulb/toggle"},
        "brightness":{"value":40,"command":"set_state"},
        "color":{"command":"set_state","hue":200,"saturation":80},
        "colorTemperature":{"command":"set_state","min":200,"max":400,"value":250}}]}]})"));
    OrbeluneLightMenuItem& bulb = light("Bulb");
    for (double level : {20.0, 35.0, 80.0}) {
        bulb.brightnessSlider->setDoubleValue(level);
        bulb.brightnessSlider->sendAction();
    }
    bulb.colorButton->performClick();
    pickColor(bulb);
    // The colour is another control: it neither waits for the brightness nor replaces it.
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(payloadOf(requests()[0]).at("level"), 20);
    EXPECT_NEAR(payloadOf(requests()[1]).at("hue").to_number<double>(), 90, 0.5);

    answer(requests()[0], 200, "{}");
    ASSERT_EQ(requests().size(), 3u);
    EXPECT_EQ(payloadOf(requests()[2]).at("level"), 80);
    for (const auto& request : requests()) {
        EXPECT_TRUE(request->request.url.ends_with("/devices/bulb/commands/set_state/run"));
    }
    EXPECT_EQ(menu.refreshes, 0);
    answer(requests()[1], 200, "{}");
    answer(requests()[2], 200, "{}");
    EXPECT_EQ(menu.refreshes, 2);
    EXPECT_EQ(requests().size(), 3u);
}

TEST_F(MenuLightItemTest, TheHubsOlderValuesDoNotUndoTheUsersWhileTheyAreOnTheirWay) {
    const auto hubsOlder = testing::loadStateFixture(kFixture);
    OrbeluneLightMenuItem& desk = light("Desk Lamp");
    OrbeluneLightMenuItem& strip = light("Strip");
    desk.brightnessSlider->setDoubleValue(80);
    desk.brightnessSlider->sendAction();
    desk.colorButton->performClick();
    pickColor(desk);
    strip.tempButton->performClick();
    {
        HostedRow hosted(strip.containerView);
        hosted.window.makeFirstResponder(strip.pickerView.get());
        hosted.driver().key(KeyCode::UpArrow, {}, ModifierShift);
    }
    ASSERT_EQ(requests().size(), 3u);
    auto temperature = [&strip] {
        auto* picker = dynamic_cast<InlineTemperaturePickerView*>(strip.pickerView.get());
        EXPECT_NE(picker, nullptr);
        return picker ? picker->value() : -1;
    };
    EXPECT_EQ(temperature(), 225);

    // The hub's values from before the sends arrive in place: the row keeps the user's.
    ASSERT_TRUE(menu.builder->updateRows(hubsOlder));
    EXPECT_EQ(desk.brightnessSlider->doubleValue(), 80);
    EXPECT_NEAR(pickedHue(desk), 90, 0.5);
    EXPECT_EQ(temperature(), 225);
    // The colour picker opened again shows the user's pick too.
    desk.colorButton->performClick();
    desk.colorButton->performClick();
    EXPECT_NEAR(pickedHue(desk), 90, 0.5);

    // Each control follows the hub again once its own answer is in.
    answer(requests()[0], 200, "{}");
    ASSERT_TRUE(menu.builder->updateRows(hubsOlder));
    EXPECT_EQ(desk.brightnessSlider->doubleValue(), 40);
    EXPECT_NEAR(pickedHue(desk), 90, 0.5);
    answer(requests()[1], 200, "{}");
    answer(requests()[2], 200, "{}");
    ASSERT_TRUE(menu.builder->updateRows(hubsOlder));
    EXPECT_EQ(pickedHue(desk), 200);
    EXPECT_EQ(temperature(), 250);
}

}  // namespace
}  // namespace corvix

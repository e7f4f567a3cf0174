#include <gtest/gtest.h>

#include "LocaleTestSupport.h"
#include "MenuTestSupport.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "menu/StayOpenSlider.h"
#include "menu/StayOpenStepper.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/SegmentedControl.h"

namespace corvix {
namespace {

using testing::findSubview;
using testing::itemTitled;
using testing::labelTexts;
using testing::MenuHarness;
using testing::outline;
using testing::stateFromText;
using Lines = std::vector<std::string>;
using Transfer = std::shared_ptr<FakeHttpClient::Transfer>;

constexpr const char* kFixture = "rooms-with-every-device-kind.json";

std::string refusal(std::string_view message) {
    return R"({"status":false,"message":")" + std::string(message) + "\"}";
}

std::vector<Button*> buttonsOf(const View& view) {
    std::vector<Button*> buttons;
    for (const auto& subview : view.subviews()) {
        if (auto* button = dynamic_cast<Button*>(subview.get())) {
            buttons.push_back(button);
        }
    }
    return buttons;
}

class MenuDeviceItemsTest : public ::testing::Test {
  protected:
    void SetUp() override { menu.build(kFixture); }

    StayOpenMenu& room(std::string_view name) {
        StayOpenMenu* submenu = menu.submenu(name);
        EXPECT_NE(submenu, nullptr) << name;
        return submenu ? *submenu : *menu.root;
    }
    /// The submenu of the device row `device` in `roomName`.
    StayOpenMenu& device(std::string_view roomName, std::string_view name) {
        MenuItem* row = itemTitled(room(roomName), name);
        EXPECT_TRUE(row && row->submenu()) << name;
        return row && row->submenu() ? dynamic_cast<StayOpenMenu&>(*row->submenu()) : *menu.root;
    }
    template <typename T>
    T& control(const Menu& parent, std::string_view row) {
        MenuItem* item = itemTitled(parent, row);
        T* found = item && item->view() ? findSubview<T>(*item->view()) : nullptr;
        EXPECT_NE(found, nullptr) << row;
        static T none;
        return found ? *found : none;
    }
    const std::vector<Transfer>& requests() const { return menu.platform.http.transfers(); }
    Transfer last() { return menu.platform.http.last(); }
    void answer(const Transfer& transfer, int status, std::string body) {
        menu.platform.http.respond(transfer, status, std::move(body));
        menu.platform.loop.runUntilIdle();
    }
    void flip(OrbeluneToggleSwitch& toggle) {
        testing::clickView(toggle.shared_from_this());
        menu.platform.loop.runUntilIdle();
    }
    /// The document of the fixture with `edit` applied to its text.
    std::shared_ptr<const JsonObject> edited(
        std::initializer_list<std::pair<std::string, std::string>> replacements) {
        std::ifstream in(std::string(CORVIX_FIXTURES_DIR) + "/state/" + kFixture);
        std::stringstream buffer;
        buffer << in.rdbuf();
        std::string text = buffer.str();
        for (const auto& [from, to] : replacements) {
            const auto at = text.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos) {
                text.replace(at, from.size(), to);
            }
        }
        return stateFromText(text);
    }

    MenuHarness menu;
};

TEST_F(MenuDeviceItemsTest, EachDeviceGetsTheEntryItsRuleChooses) {
    // A light with controls is one compact row, one without keeps a header submenu; a
    // power-only switch is a row of its own; items make an action row; a command list with a
    // non-object element counts as empty.
    EXPECT_EQ(outline(room("Living Room")),
              (Lines{"Ceiling Light", "Light >", "Coffee Maker", "Desk Fan >", "Old Lamp >",
                     "Living Room TV >", "Doorbell", "Broken Speaker (disabled)",
                     "Garage Hub (disabled)"}));
    EXPECT_EQ(outline(room("Bedroom")),
              (Lines{"Heat Pump >", "Guest Radiator >", "Blinds >", "Skylight >"}));

    const struct {
        const char* room;
        const char* device;
        Lines rows;
    } submenus[] = {
        {"Living Room", "Light", {"Light"}},
        {"Living Room", "Desk Fan", {"Desk Fan", "---", "Commands"}},
        // A media device: its header and remote, without the generic command grids.
        {"Living Room", "Living Room TV", {"Living Room TV", "Remote"}},
        {"Bedroom",
         "Heat Pump",
         {"Heat Pump", "Fan", "Now 19.5  Target 21  Heat (disabled)", "Mode", "Temperature", "---",
          "Commands"}},
        // No fan without a command, no summary without readings, no mode without its command.
        {"Bedroom", "Guest Radiator", {"Temperature"}},
        {"Bedroom", "Blinds", {"Brightness", "---", "Commands"}},
        {"Den", "Den Sensor", {"Temperature 21.0  Humidity 45% (disabled)"}},
        {"Den", "Quiet Sensor", {"No sensor readings (disabled)"}},
    };
    for (const auto& c : submenus) {
        SCOPED_TRACE(c.device);
        EXPECT_EQ(outline(device(c.room, c.device)), c.rows);
    }

    // Device rows: the kind's symbol and the status line as subtitle.
    const View& heatPump = *itemTitled(room("Bedroom"), "Heat Pump")->view();
    EXPECT_EQ(findSubview<ImageView>(heatPump)->image()->symbol()->name, "snowflake");
    EXPECT_EQ(labelTexts(heatPump), (Lines{"Heat Pump", "19.5"}));
    const View& doorbell = *itemTitled(room("Living Room"), "Doorbell")->view();
    EXPECT_EQ(doorbell.frame(), Rect(0, 0, 326, 40));
    EXPECT_EQ(labelTexts(doorbell), (Lines{"Doorbell", "Idle"}));
    const View& header = *itemTitled(device("Living Room", "Light"), "Light")->view();
    EXPECT_EQ(header.frame(), Rect(0, 0, 326, 32));
    EXPECT_EQ(findSubview<TextField>(header)->frame(), Rect(40, 7, 228, 17));
}

TEST_F(MenuDeviceItemsTest, AnAppleTvIsLeftOutWithItsSectionOff) {
    setCorvixSection(menu.platform.defaults, corvixSectionAppleTVKey, false);
    menu.builder->build(*menu.root, stateFromText(R"({"rooms":[{"name":"Den","devices":[
        {"id":"atv","name":"Den TV","kind":"media","capabilities":{"apps":true}},
        {"id":"lamp","name":"Lamp","kind":"switch"}]}]})"));
    EXPECT_EQ(outline(room("Den")), Lines{"Lamp (disabled)"});
}

TEST_F(MenuDeviceItemsTest, APowerRowRunsItsItemAndSetsTheSwitchBackOnFailure) {
    MenuItem* row = itemTitled(room("Living Room"), "Coffee Maker");
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->isEnabled());
    EXPECT_EQ(row->view()->frame(), Rect(0, 0, 326, 32));
    EXPECT_EQ(findSubview<ImageView>(*row->view())->frame(), Rect(14, 8, 16, 16));
    EXPECT_EQ(findSubview<TextField>(*row->view())->frame(), Rect(40, 7, 228, 17));
    auto& toggle = *findSubview<OrbeluneToggleSwitch>(*row->view());
    EXPECT_EQ(toggle.frame(), Rect(268, 4, 44, 24));
    EXPECT_FALSE(toggle.isOn());
    EXPECT_EQ(toggle.accessibilityLabel(), "Coffee Maker");

    flip(toggle);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(last()->request.url.ends_with("/items/switch-coffee%2Fon/run"));
    EXPECT_EQ(last()->request.body,
              R"({"source":"native-menubar","confirm":true,"desiredState":true})");
    answer(last(), 200, R"({"status":true})");
    EXPECT_EQ(menu.refreshes, 1);
    EXPECT_TRUE(toggle.isOn());

    // Switching off fails: the switch shows the state the hub kept.
    flip(toggle);
    EXPECT_TRUE(last()->request.url.ends_with("/items/switch-coffee%2Foff/run"));
    answer(last(), 200, refusal("Relay stuck"));
    EXPECT_TRUE(toggle.isOn());
    EXPECT_EQ(toggle.accessibilityValue(), AccessibilityValue(1.0));
    ASSERT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.alerts.shown[0].informativeText, "Relay stuck");

    // An unsupported failure is set back too, and only refreshes.
    flip(toggle);
    answer(last(), 200, refusal("power off is not supported"));
    EXPECT_TRUE(toggle.isOn());
    EXPECT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.refreshes, 2);
}

TEST_F(MenuDeviceItemsTest, APowerRowWithoutItemsRunsTheDevicesPowerCommand) {
    auto& toggle = control<OrbeluneToggleSwitch>(device("Living Room", "Desk Fan"), "Desk Fan");
    flip(toggle);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(last()->request.url.ends_with("/devices/switch-fan/commands/turn_off/run"));
    EXPECT_EQ(last()->request.body, R"({"source":"native-menubar","payload":{}})");
    answer(last(), 500, R"({"message":"Fan controller offline"})");
    EXPECT_TRUE(toggle.isOn());
    ASSERT_EQ(menu.alerts.shown.size(), 1u);

    flip(toggle);
    EXPECT_TRUE(last()->request.url.ends_with("/devices/switch-fan/commands/turn_off/run"));
}

TEST_F(MenuDeviceItemsTest, APowerChangeWithNothingToSendSetsTheSwitchBack) {
    // A command without a device id to post to: nothing goes out.
    auto& oldLamp = control<OrbeluneToggleSwitch>(device("Living Room", "Old Lamp"), "Old Lamp");
    flip(oldLamp);
    EXPECT_TRUE(requests().empty());
    EXPECT_FALSE(oldLamp.isOn());
    EXPECT_TRUE(menu.alerts.shown.empty());

    // No item and no power command at all: the light's message.
    menu.builder->build(*menu.root, stateFromText(R"({"rooms":[{"name":"Den","devices":[
        {"id":"plug","name":"Plug","kind":"switch","power":{"isOn":true}}]}]})"));
    auto& plug = control<OrbeluneToggleSwitch>(room("Den"), "Plug");
    flip(plug);
    EXPECT_TRUE(requests().empty());
    EXPECT_TRUE(plug.isOn());
    ASSERT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.alerts.shown[0].messageText, "Command failed");
    EXPECT_EQ(menu.alerts.shown[0].informativeText, "No power command is enabled for this light.");
}

TEST_F(MenuDeviceItemsTest, ASliderSendsTheRoundedLevelUnderEveryKey) {
    const struct {
        const char* room;
        const char* device;
        const char* row;
        const char* path;
        const char* key;
    } cases[] = {
        {"Bedroom", "Blinds", "Brightness", "/devices/cover-bedroom/commands/set_position/run",
         "brightness"},
        {"Bedroom", "Heat Pump", "Fan", "/devices/climate-bedroom/commands/set_fan_speed/run",
         "fanSpeed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        menu.builder->build(*menu.root, testing::loadStateFixture(kFixture));
        MenuItem* row = itemTitled(device(c.room, c.device), c.row);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->view()->frame(), Rect(0, 0, 326, 38));
        auto* slider = findSubview<StayOpenSlider>(*row->view());
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->frame(), Rect(96, 8, 174, 22));
        EXPECT_TRUE(slider->isEnabled());
        EXPECT_TRUE(slider->isContinuous());
        EXPECT_EQ(slider->stayOpenMenu.lock(), menu.root);
        EXPECT_EQ(labelTexts(*row->view()), (Lines{c.row, "40"}));

        slider->setDoubleValue(37.6);
        slider->sendAction();
        EXPECT_EQ(labelTexts(*row->view()).back(), "38");
        EXPECT_TRUE(last()->request.url.ends_with(c.path));
        EXPECT_EQ(last()->request.body, std::string(R"({"source":"native-menubar","payload":{")") +
                                            c.key +
                                            R"(":38,"level":38,"value":38,"percent":38},")" +
                                            c.key + R"(":38,"level":38,"value":38,"percent":38})");
        answer(last(), 200, "{}");
    }
    EXPECT_EQ(menu.refreshes, 2);
}

TEST_F(MenuDeviceItemsTest, ContinuousSendsGoOutInOrderAndEndAtTheLastPosition) {
    auto& slider = control<StayOpenSlider>(device("Bedroom", "Blinds"), "Brightness");
    auto level = [](const Transfer& t) {
        return parseJson(t->request.body.value_or("")).value().as_object().at("level").as_int64();
    };
    for (double position : {10.0, 20.0, 30.0, 45.0}) {
        slider.setDoubleValue(position);
        slider.sendAction();
    }
    // One request on its way; the positions after it wait as one, the newest.
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(level(requests()[0]), 10);

    answer(requests()[0], 200, "{}");
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(level(requests()[1]), 45);
    EXPECT_EQ(menu.refreshes, 0);  // not before the last position landed

    // A failure superseded by a newer position is not shown; the last one's is.
    slider.setDoubleValue(50);
    slider.sendAction();
    answer(requests()[1], 200, refusal("Motor busy"));
    ASSERT_EQ(requests().size(), 3u);
    EXPECT_EQ(level(requests()[2]), 50);
    EXPECT_TRUE(menu.alerts.shown.empty());
    answer(requests()[2], 200, refusal("Motor busy"));
    EXPECT_EQ(menu.alerts.shown.size(), 1u);

    slider.setDoubleValue(60);
    slider.sendAction();
    ASSERT_EQ(requests().size(), 4u);
    answer(requests()[3], 200, "{}");
    EXPECT_EQ(menu.refreshes, 1);
}

TEST_F(MenuDeviceItemsTest, ARebuiltMenusControlsSendAfterTheValuesOfTheRowsTheyReplace) {
    control<StayOpenSlider>(device("Bedroom", "Blinds"), "Brightness").setDoubleValue(10);
    control<StayOpenSlider>(device("Bedroom", "Blinds"), "Brightness").sendAction();
    control<StayOpenStepper>(device("Bedroom", "Heat Pump"), "Temperature").stepBy(1);
    ASSERT_EQ(requests().size(), 2u);

    // A new menu, and the hub's older values in place: the new rows keep what the user gives
    // them, and send it after the old rows' values.
    menu.build(kFixture);
    auto& blinds = control<StayOpenSlider>(device("Bedroom", "Blinds"), "Brightness");
    auto& stepper = control<StayOpenStepper>(device("Bedroom", "Heat Pump"), "Temperature");
    blinds.setDoubleValue(20);
    blinds.sendAction();
    stepper.stepBy(2);
    ASSERT_TRUE(menu.builder->updateRows(testing::loadStateFixture(kFixture)));
    EXPECT_EQ(blinds.doubleValue(), 20);
    EXPECT_EQ(stepper.doubleValue(), 22);
    EXPECT_EQ(requests().size(), 2u);
    answer(requests()[0], 200, "{}");
    answer(requests()[1], 200, "{}");
    ASSERT_EQ(requests().size(), 4u);
    EXPECT_TRUE(requests()[2]->request.url.ends_with("/commands/set_position/run"));
    EXPECT_TRUE(requests()[3]->request.url.ends_with("/commands/set_temperature/run"));
    EXPECT_EQ(menu.refreshes, 0);
}

TEST_F(MenuDeviceItemsTest, ControlsWithoutACommandAreDisabledAndSendNothing) {
    auto& skylight = control<StayOpenSlider>(device("Bedroom", "Skylight"), "Brightness");
    EXPECT_FALSE(skylight.isEnabled());
    StayOpenMenu& guest = device("Bedroom", "Guest Radiator");
    auto& stepper = control<StayOpenStepper>(guest, "Temperature");
    EXPECT_FALSE(stepper.isEnabled());
    EXPECT_EQ(stepper.doubleValue(), 22);  // neither target nor current
    EXPECT_EQ(labelTexts(*itemTitled(guest, "Temperature")->view()), (Lines{"Temperature", "22"}));
    skylight.sendAction();
    stepper.stepBy(1);
    EXPECT_TRUE(requests().empty());

    // A level that cannot be a whole number is shown as a dash and never sent.
    menu.builder->build(*menu.root, stateFromText(R"({"rooms":[{"name":"Den","devices":[
        {"id":"dimmer","name":"Dimmer","kind":"cover",
         "brightness":{"value":1e300,"max":1e300,"command":"set_level"}}]}]})"));
    MenuItem* row = itemTitled(device("Den", "Dimmer"), "Brightness");
    EXPECT_EQ(labelTexts(*row->view()), (Lines{"Brightness", "\u2013"}));
    auto* dimmer = findSubview<StayOpenSlider>(*row->view());
    dimmer->setDoubleValue(5e299);
    dimmer->sendAction();
    EXPECT_EQ(labelTexts(*row->view()).back(), "\u2013");
    EXPECT_TRUE(requests().empty());
}

TEST_F(MenuDeviceItemsTest, ClimateModeShowsFourSegmentsAndSendsTheChosenValue) {
    StayOpenMenu& heatPump = device("Bedroom", "Heat Pump");
    MenuItem* row = itemTitled(heatPump, "Mode");
    EXPECT_EQ(row->view()->frame(), Rect(0, 0, 326, 38));
    EXPECT_EQ(findSubview<TextField>(*row->view())->frame(), Rect(14, 11, 72, 17));
    auto& mode = *findSubview<SegmentedControl>(*row->view());
    EXPECT_EQ(mode.frame(), Rect(84, 6, 228, 26));
    ASSERT_EQ(mode.segmentCount(), 4);
    EXPECT_EQ((Lines{mode.label(0), mode.label(1), mode.label(2), mode.label(3)}),
              (Lines{"Off", "Heat", "Cool", "Auto"}));
    EXPECT_EQ(mode.selectedSegment(), 1);  // "heat" matches "HEAT"

    mode.setSelectedSegment(3);
    mode.sendAction();
    EXPECT_TRUE(
        last()->request.url.ends_with("/devices/climate-bedroom/commands/set_hvac_mode/run"));
    EXPECT_EQ(last()->request.body,
              R"({"source":"native-menubar","payload":{"mode":"auto"},"mode":"auto"})");
}

TEST_F(MenuDeviceItemsTest, TheTemperatureStepperSendsEachNewValue) {
    MenuItem* row = itemTitled(device("Bedroom", "Heat Pump"), "Temperature");
    EXPECT_EQ(row->view()->frame(), Rect(0, 0, 326, 34));
    EXPECT_EQ(labelTexts(*row->view()), (Lines{"Temperature", "21"}));
    auto& stepper = *findSubview<StayOpenStepper>(*row->view());
    EXPECT_EQ(stepper.frame(), Rect(274, 4, 26, 24));
    EXPECT_EQ(stepper.minValue(), 5);
    EXPECT_EQ(stepper.maxValue(), 35);
    EXPECT_EQ(stepper.increment(), 0.5);
    EXPECT_EQ(stepper.stayOpenMenu.lock(), menu.root);

    stepper.stepBy(1);
    EXPECT_EQ(labelTexts(*row->view()).back(), "21.5");
    EXPECT_TRUE(last()->request.url.ends_with("/commands/set_temperature/run"));
    EXPECT_EQ(
        last()->request.body,
        R"({"source":"native-menubar","payload":{"temperature":2.15E1},"temperature":2.15E1})");
    answer(last(), 200, refusal("unknown command set_temperature"));
    EXPECT_EQ(menu.refreshes, 1);
    EXPECT_TRUE(menu.alerts.shown.empty());
}

/// The climate rows under a language that writes a decimal comma.
class ClimateUnderLocale : public testing::UnderLocale {
  protected:
    void SetUp() override {
        testing::UnderLocale::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // The hub sends the target as text; the current temperature as a number.
        std::ifstream in(std::string(CORVIX_FIXTURES_DIR) + "/state/" + kFixture);
        std::stringstream buffer;
        buffer << in.rdbuf();
        std::string text = buffer.str();
        const std::string from = R"("targetTemperature": 21,)";
        ASSERT_NE(text.find(from), std::string::npos);
        text.replace(text.find(from), from.size(), R"("targetTemperature": "20.5",)");
        menu.builder->build(*menu.root, stateFromText(text));
    }

    MenuHarness menu;
};

TEST_P(ClimateUnderLocale, TheTargetReadsShowsAndStepsWithAPoint) {
    StayOpenMenu* bedroom = menu.submenu("Bedroom");
    ASSERT_NE(bedroom, nullptr);
    MenuItem* heatPump = itemTitled(*bedroom, "Heat Pump");
    ASSERT_TRUE(heatPump && heatPump->submenu());
    MenuItem* row = itemTitled(*heatPump->submenu(), "Temperature");
    ASSERT_TRUE(row && row->view());
    EXPECT_EQ(labelTexts(*row->view()), (Lines{"Temperature", "20.5"}));
    ASSERT_TRUE(heatPump->view());
    EXPECT_EQ(labelTexts(*heatPump->view()), (Lines{"Heat Pump", "19.5"}));
    EXPECT_EQ(outline(*heatPump->submenu())[2], "Now 19.5  Target 20.5  Heat (disabled)");

    // One step up from 20.5 is 21, in the label and in the request.
    findSubview<StayOpenStepper>(*row->view())->stepBy(1);
    EXPECT_EQ(labelTexts(*row->view()).back(), "21");
    const auto& sent = menu.platform.http.last()->request;
    EXPECT_TRUE(sent.url.ends_with("/commands/set_temperature/run"));
    EXPECT_EQ(sent.body,
              R"({"source":"native-menubar","payload":{"temperature":2.1E1},"temperature":2.1E1})");
}

INSTANTIATE_TEST_SUITE_P(Languages, ClimateUnderLocale,
                         ::testing::ValuesIn(testing::decimalCommaLocales()),
                         testing::localeCaseName);

TEST_F(MenuDeviceItemsTest, ACommandGridPlacesThreeButtonsARowAndRunsEach) {
    MenuItem* row = itemTitled(device("Den", "Den Remote"), "Commands");
    ASSERT_NE(row, nullptr);
    const View& grid = *row->view();
    EXPECT_EQ(grid.frame(), Rect(0, 0, 326, 118));
    EXPECT_EQ(findSubview<TextField>(grid)->frame(), Rect(14, 98, 160, 17));
    const auto buttons = buttonsOf(grid);
    ASSERT_EQ(buttons.size(), 7u);
    Lines titles;
    for (Button* button : buttons) {
        titles.push_back(button->title());
    }
    EXPECT_EQ(titles, (Lines{"One", "two", "Scene", "Four", "Five", "Six", "Seven"}));
    EXPECT_EQ(buttons[0]->frame(), Rect(14, 66, 88, 24));
    EXPECT_EQ(buttons[4]->frame(), Rect(109, 36, 88, 24));
    EXPECT_EQ(buttons[6]->frame(), Rect(14, 6, 88, 24));
    EXPECT_EQ(buttons[0]->controlSize(), ControlSize::Small);
    EXPECT_EQ(buttons[0]->font(), Font::system(11));
    EXPECT_EQ(buttons[0]->bezelStyle(), BezelStyle::Rounded);

    buttons[1]->performClick();
    EXPECT_TRUE(last()->request.url.ends_with("/devices/remote-den/commands/two/run"));
    answer(last(), 200, refusal("not supported"));
    EXPECT_TRUE(menu.alerts.shown.empty());

    // A button that runs an item tells every failure.
    buttons[2]->performClick();
    EXPECT_TRUE(last()->request.url.ends_with("/items/remote-den%2Fscene/run"));
    EXPECT_EQ(last()->request.body, R"({"source":"native-menubar","confirm":true})");
    answer(last(), 200, refusal("not supported"));
    ASSERT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.alerts.shown[0].messageText, "Command is not supported");

    // One command: one row of buttons, 58 high.
    EXPECT_EQ(itemTitled(device("Bedroom", "Heat Pump"), "Commands")->view()->frame().height(), 58);
}

TEST_F(MenuDeviceItemsTest, EveryClimateRowHoldsItsContent) {
    for (const auto& item : device("Bedroom", "Heat Pump").itemArray()) {
        if (!item->view()) {
            continue;
        }
        const View& row = *item->view();
        SCOPED_TRACE(item->title());
        for (const auto& subview : row.subviews()) {
            const Rect frame = subview->frame();
            EXPECT_EQ(row.bounds().intersection(frame), frame)
                << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
            // Content on the row's bottom edge runs under the menu's edge when its row comes last.
            EXPECT_GE(frame.minY(), 4);
        }
    }
}

TEST_F(MenuDeviceItemsTest, ADeviceCommandsOutcomeIsARefreshOrAnAlert) {
    const struct {
        const char* name;
        Result<HttpResponse> answer;
        int refreshes;
        const char* alert;
    } cases[] = {
        {"success", HttpResponse{200, {}, R"({"status":true})"}, 1, nullptr},
        {"unsupported", HttpResponse{200, {}, refusal("Device has no attribute open")}, 1, nullptr},
        {"refused", HttpResponse{200, {}, refusal("Cover jammed")}, 0, "Command failed"},
        {"not json", HttpResponse{502, {}, "<html>Bad gateway</html>"}, 0, "Command failed"},
        {"timed out", Error{kUrlErrorDomain, kUrlErrorTimedOut, "The request timed out."}, 0,
         "Command failed"},
        {"refused connection",
         Error{kUrlErrorDomain, kUrlErrorCannotConnectToHost, "Connection refused"}, 0,
         "Orbelune OS is not reachable"},
        {"cancelled", cancellationError(), 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        menu.refreshes = 0;
        menu.alerts.shown.clear();
        Button* open = buttonsOf(*itemTitled(device("Bedroom", "Blinds"), "Commands")->view())[0];
        open->performClick();
        ASSERT_TRUE(last()->request.url.ends_with("/devices/cover-bedroom/commands/open/run"));
        menu.platform.http.respond(last(), c.answer);
        menu.platform.loop.runUntilIdle();
        EXPECT_EQ(menu.refreshes, c.refreshes);
        ASSERT_EQ(menu.alerts.shown.size(), c.alert ? 1u : 0u);
        if (c.alert) {
            EXPECT_EQ(menu.alerts.shown[0].messageText, c.alert);
        }
    }
}

TEST_F(MenuDeviceItemsTest, RowsShowANewerDocumentInPlace) {
    StayOpenMenu& heatPump = device("Bedroom", "Heat Pump");
    MenuItem* heatPumpRow = itemTitled(room("Bedroom"), "Heat Pump");
    auto& power = control<OrbeluneToggleSwitch>(heatPump, "Heat Pump");
    auto& mode = control<SegmentedControl>(heatPump, "Mode");
    auto& stepper = control<StayOpenStepper>(heatPump, "Temperature");
    auto& fan = control<StayOpenSlider>(heatPump, "Fan");
    auto& coffee = control<OrbeluneToggleSwitch>(room("Living Room"), "Coffee Maker");
    const View* heatPumpView = heatPumpRow->view().get();
    const auto itemsBefore = heatPump.itemArray();

    // The user holds the blinds' slider while the hub reports another position.
    MenuItem* blindsRow = itemTitled(device("Bedroom", "Blinds"), "Brightness");
    auto& blinds = *findSubview<StayOpenSlider>(*blindsRow->view());
    EventRouter router;
    router.setRoot(blindsRow->view());
    EventDriver pointer(router);
    pointer.press({96 + 87, 19});
    const double held = blinds.doubleValue();
    ASSERT_NE(held, 40);
    const auto requestsBefore = requests().size();

    auto newer = edited({
        {R"("isOn": true, "onItemId": "climate-bedroom/on")",
         R"("isOn": false, "onItemId": "climate-bedroom/on")"},
        {R"("targetTemperature": 21, "mode": "heat")",
         R"("targetTemperature": 23.5, "mode": "cool")"},
        {R"("value": 40, "min": 0, "max": 100, "command": "set_fan_speed")",
         R"("value": 75, "min": 0, "max": 100, "command": "set_fan_speed")"},
        {R"("currentTemperature": 19.5, "status": "Heating")",
         R"("currentTemperature": 20, "status": "Off")"},
        {R"("isOn": false, "onItemId": "switch-coffee/on")",
         R"("isOn": true, "onItemId": "switch-coffee/on")"},
        {R"("value": 40, "min": 0, "max": 100, "command": "set_position")",
         R"("value": 90, "min": 0, "max": 100, "command": "set_position")"},
        {R"("temperature": 20.96, "humidity": 45)", R"("temperature": 18, "humidity": 50)"},
        {R"("status": "Idle")", R"("status": "Ringing")"},
    });
    ASSERT_TRUE(menu.builder->updateRows(newer));
    EXPECT_EQ(menu.builder->currentState, newer);

    // The same rows and controls, the new values.
    EXPECT_EQ(heatPump.itemArray(), itemsBefore);
    EXPECT_EQ(heatPumpRow->view().get(), heatPumpView);
    EXPECT_EQ(labelTexts(*heatPumpRow->view()), (Lines{"Heat Pump", "20"}));
    EXPECT_FALSE(power.isOn());
    EXPECT_TRUE(coffee.isOn());
    EXPECT_EQ(mode.selectedSegment(), 2);
    EXPECT_EQ(stepper.doubleValue(), 23.5);
    EXPECT_EQ(labelTexts(*itemTitled(heatPump, "Temperature")->view()),
              (Lines{"Temperature", "23.5"}));
    EXPECT_EQ(fan.doubleValue(), 75);
    EXPECT_EQ(labelTexts(*itemTitled(heatPump, "Fan")->view()), (Lines{"Fan", "75"}));
    EXPECT_EQ(outline(heatPump)[2], "Now 19.5  Target 23.5  Cool (disabled)");
    EXPECT_EQ(outline(device("Den", "Den Sensor")),
              Lines{"Temperature 18  Humidity 50% (disabled)"});
    EXPECT_EQ(labelTexts(*itemTitled(room("Living Room"), "Doorbell")->view()),
              (Lines{"Doorbell", "Ringing"}));
    // (The light's own row follows a newer document through its own update; see its tests.)
    // The held slider keeps the user's position, and nothing was sent for the update.
    EXPECT_EQ(blinds.doubleValue(), held);
    pointer.release({96 + 87, 19});
    EXPECT_EQ(requests().size(), requestsBefore);
    // Released, but its position is still on its way: the hub's older value does not win.
    ASSERT_TRUE(menu.builder->updateRows(newer));
    EXPECT_EQ(blinds.doubleValue(), held);

    // Once released and landed, the next document moves it.
    answer(last(), 200, "{}");
    ASSERT_TRUE(menu.builder->updateRows(newer));
    EXPECT_EQ(blinds.doubleValue(), 90);
    EXPECT_EQ(labelTexts(*blindsRow->view()), (Lines{"Brightness", "90"}));
}

TEST_F(MenuDeviceItemsTest, AStatusLineThatComesOrGoesGetsAFreshRowView) {
    MenuItem* row = itemTitled(room("Bedroom"), "Blinds");
    auto submenu = row->submenu();
    auto updated = edited({{R"("state": {"status": "Open 40%"},)", ""}});
    ASSERT_TRUE(menu.builder->updateRows(updated));
    EXPECT_EQ(labelTexts(*row->view()), Lines{"Blinds"});
    EXPECT_EQ(findSubview<TextField>(*row->view())->frame(), Rect(40, 7, 260, 17));
    EXPECT_EQ(row->submenu(), submenu);

    ASSERT_TRUE(menu.builder->updateRows(testing::loadStateFixture(kFixture)));
    EXPECT_EQ(labelTexts(*row->view()), (Lines{"Blinds", "Open 40%"}));
}

TEST_F(MenuDeviceItemsTest, RowsKeepTheRecordsTheyStillReadAliveAndNothingMore) {
    // A newer document without the two switches' power controls: their rows keep reading the
    // first document, which only they hold now.
    auto& coffee = control<OrbeluneToggleSwitch>(room("Living Room"), "Coffee Maker");
    auto& fan = control<OrbeluneToggleSwitch>(device("Living Room", "Desk Fan"), "Desk Fan");
    std::weak_ptr<const JsonObject> first = menu.builder->currentState;
    auto newer = edited({
        {R"("power": {"isOn": false, "onItemId": "switch-coffee/on", "offItemId": "switch-coffee/off"})",
         R"("note": "no power")"},
        {R"("power": {"isOn": true},)", ""},
    });
    ASSERT_TRUE(menu.builder->updateRows(newer));
    ASSERT_EQ(menu.builder->currentState, newer);
    EXPECT_FALSE(first.expired());

    flip(coffee);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(last()->request.url.ends_with("/items/switch-coffee%2Fon/run"));
    flip(fan);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_TRUE(last()->request.url.ends_with("/devices/switch-fan/commands/turn_off/run"));

    // Once the rows are rebuilt from the newer document, the first one is gone.
    menu.builder->build(*menu.root, newer);
    EXPECT_TRUE(first.expired());
    menu.builder->buildLoading(*menu.root, "Loading");
    newer.reset();
    EXPECT_EQ(menu.builder->currentState, nullptr);
}

TEST_F(MenuDeviceItemsTest, ARoomFirstOpenedAfterANewerDocumentShowsThatDocument) {
    // The hub reported the coffee maker on before the user opened the room.
    auto newer = edited({{R"("isOn": false, "onItemId": "switch-coffee/on")",
                          R"("isOn": true, "onItemId": "switch-coffee/on")"}});
    ASSERT_TRUE(menu.builder->updateRows(newer));
    auto& coffee = control<OrbeluneToggleSwitch>(room("Living Room"), "Coffee Maker");
    EXPECT_TRUE(coffee.isOn());
    // Its rows follow later documents as the rows of any room do.
    ASSERT_TRUE(menu.builder->updateRows(testing::loadStateFixture(kFixture)));
    EXPECT_FALSE(coffee.isOn());
    flip(coffee);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_TRUE(last()->request.url.ends_with("/items/switch-coffee%2Fon/run"));
}

TEST_F(MenuDeviceItemsTest, ARoomOfAReplacedMenuGetsNoRows) {
    // Held past a rebuild (a popup on its way out), never opened before it.
    std::shared_ptr<Menu> stale = itemTitled(*menu.root, "Living Room")->submenu();
    menu.build(kFixture);
    const auto targets = menu.builder->buttonTargets.size();
    const auto updates = menu.builder->stateUpdateHandlers.size();
    EXPECT_TRUE(stale->itemArray().empty());
    EXPECT_EQ(menu.builder->buttonTargets.size(), targets);
    EXPECT_EQ(menu.builder->stateUpdateHandlers.size(), updates);
    // The new menu's room is whole.
    EXPECT_FALSE(room("Living Room").itemArray().empty());
}

TEST_F(MenuDeviceItemsTest, NothingUpdatesInPlaceWhileAPlaceholderIsShown) {
    menu.builder->buildOffline(*menu.root, "Could not connect to the server.");
    EXPECT_FALSE(menu.builder->updateRows(testing::loadStateFixture(kFixture)));
    EXPECT_EQ(menu.builder->currentState, nullptr);
    EXPECT_TRUE(menu.builder->stateUpdateHandlers.empty());
}

}  // namespace
}  // namespace corvix

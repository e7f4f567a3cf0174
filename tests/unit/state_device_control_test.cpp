#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "state/DeviceControl.h"

namespace corvix {
namespace {

JsonObject object(std::string_view text) {
    return parseJson(text).value().as_object();
}

/// Command records kept alive beside the pointers the model hands back.
struct Records {
    explicit Records(std::string_view listJson) : value(parseJson(listJson).value()) {
        list = array(&value);
    }
    json::value value;
    ObjectList list;
};

std::vector<std::string> keys(const ObjectList& records) {
    std::vector<std::string> out;
    for (const JsonObject* record : records) {
        const json::value* key = member(*record, "key");
        out.push_back(key && !key->is_null() ? string(key) : string(*record, "label"));
    }
    return out;
}

std::string keyOf(const JsonObject* record) {
    return record ? string(*record, "key", "label:" + string(*record, "label")) : "none";
}

TEST(DeviceControlTest, CommandTokenTrimsLowersAndCollapsesSeparators) {
    const std::pair<const char*, const char*> cases[] = {
        {"  Lights--ON!! ", "lights_on"},
        {"___", ""},
        {"Turn On", "turn_on"},
        {"turn-on", "turn_on"},
        {"\n\t ", ""},
        {"HDMI 2", "hdmi_2"},
        {"_a__b_", "a_b"},
        {"Caf\xc3\xa9 Mode", "caf_mode"},
    };
    for (const auto& [text, token] : cases) {
        EXPECT_EQ(commandToken(text), token) << text;
    }
}

TEST(DeviceControlTest, UniqueCommandsNamesByKeyAndUsesTheLabelOnlyWithoutOne) {
    const Records records(R"([
        {"key":"Power On","label":"first"},
        {"key":"power_on"},
        {"label":"POWER ON"},
        {"key":"","label":"Mute"},
        {"label":"Mute"},
        {"label":"!!"},
        {"key":7}
    ])");
    // An empty key is a name of its own (empty, so dropped); it does not defer to the label.
    EXPECT_EQ(keys(uniqueCommands(records.list)),
              (std::vector<std::string>{"Power On", "Mute", "7"}));
    EXPECT_EQ(string(*uniqueCommands(records.list)[1], "key", "absent"), "absent");
}

TEST(DeviceControlTest, NullNamesAndHintsReadAsAbsent) {
    const Records records(R"([
        {"key":null,"label":"Play"},
        {"key":null,"label":"Pause"},
        {"key":"stop","payloadHint":null},
        {"key":"seek","itemId":null,"payloadHint":"position"}
    ])");
    EXPECT_EQ(keys(actionableCommands(records.list)),
              (std::vector<std::string>{"Play", "Pause", "stop"}));
    const JsonObject nullCommand = object(R"({"command":null})");
    EXPECT_FALSE(hasLightColorControls(&nullCommand, &nullCommand));
}

TEST(DeviceControlTest, ActionableCommandsDropsPayloadCommandsWithoutAnItem) {
    const Records records(R"([
        {"key":"scene","itemId":"i1","payloadHint":"color"},
        {"key":"set_level","payloadHint":"level"},
        {"key":"play"},
        {"key":"play","itemId":"dup"},
        {"key":"set_color","itemId":"","payloadHint":"hs"},
        {"key":"set_mode","payloadHint":""}
    ])");
    EXPECT_EQ(keys(actionableCommands(records.list)),
              (std::vector<std::string>{"scene", "play", "set_mode"}));
}

TEST(DeviceControlTest, CommandMatchingTakesTheEarliestRecordByKeyOrLabel) {
    const std::string_view on[] = {"Turn On", "power-on"};
    struct Case {
        const char* records;
        const char* expected;
    };
    const Case cases[] = {
        // An earlier record matching by label beats a later one matching by key.
        {R"([{"key":"scene_1","label":"Turn on"},{"key":"turn_on"}])", "scene_1"},
        {R"([{"key":"volume_up"},{"label":"Power On"},{"key":"power_on"}])", "label:Power On"},
        {R"([{"key":"TURN ON"}])", "TURN ON"},
        {R"([{"key":"turn_on_all"},{"label":"on"}])", "none"},
        {R"([])", "none"},
    };
    for (const Case& c : cases) {
        const Records records(c.records);
        EXPECT_EQ(keyOf(commandMatching(records.list, on)), c.expected) << c.records;
    }
}

TEST(DeviceControlTest, PowerItemIdFallsBackToTheToggleItemOnlyWhenAbsent) {
    struct Case {
        const char* power;
        bool desired;
        const char* itemId;
    };
    const Case cases[] = {
        {R"({"toggleItemId":"t1"})", true, "t1"},
        {R"({"onItemId":"","toggleItemId":"t1"})", true, ""},
        {R"({"onItemId":"on1","offItemId":"off1","toggleItemId":"t1"})", true, "on1"},
        {R"({"onItemId":"on1","offItemId":"off1","toggleItemId":"t1"})", false, "off1"},
        {R"({"onItemId":"on1","toggleItemId":"t1"})", false, "t1"},
        {R"({"offItemId":15})", false, "15"},
        {R"({"onItemId":null,"toggleItemId":"t1"})", true, "t1"},
        {R"({"offItemId":null,"toggleItemId":null})", false, ""},
        {R"({})", true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(powerItemId(object(c.power), c.desired), c.itemId) << c.power << c.desired;
    }
}

TEST(DeviceControlTest, PowerCommandTriesTheDirectListOverBothListsBeforeToggles) {
    struct Case {
        const char* device;
        bool desired;
        const char* expected;
    };
    const Case cases[] = {
        {R"({"commands":{"primary":[{"key":"power"}],"other":[{"key":"turn_on"}]}})", true,
         "turn_on"},
        {R"({"commands":{"primary":[{"key":"power"}],"other":[{"key":"turn_on"}]}})", false,
         "power"},
        {R"({"commands":{"primary":[{"key":"Lights Off"},{"key":"off"}]}})", false, "Lights Off"},
        // A record whose key repeats an earlier one is gone before its label could match.
        {R"({"commands":{"primary":[{"key":"dim"},{"key":"Dim","label":"on"}]}})", true, "none"},
        {R"({"commands":{"navigation":[{"key":"turn_on"}],"media":[{"key":"power"}]}})", true,
         "none"},
        {R"({"commands":{"primary":[{"key":"x"}, 1],"other":[{"key":"toggle"}]}})", true, "toggle"},
        {R"({"commands":[{"key":"turn_on"}]})", true, "none"},
    };
    for (const Case& c : cases) {
        const JsonObject device = object(c.device);
        EXPECT_EQ(keyOf(powerCommand(device, c.desired)), c.expected) << c.device << c.desired;
    }
}

TEST(DeviceControlTest, PowerResolutionPrefersTheItemThenACommandThenFails) {
    using K = PowerResolution::Kind;
    const JsonObject device =
        object(R"({"commands":{"primary":[{"key":"turn_on","itemId":"cmd-item"}]}})");

    PowerResolution item = resolvePower(device, object(R"({"toggleItemId":"t1"})"), true);
    EXPECT_EQ(item.kind, K::RunItem);
    EXPECT_EQ(item.itemId, "t1");

    // An empty "onItemId" names no item, so the command lists are searched.
    PowerResolution command =
        resolvePower(device, object(R"({"onItemId":"","toggleItemId":"t1"})"), true);
    ASSERT_EQ(command.kind, K::RunCommand);
    EXPECT_EQ(string(*command.command, "itemId"), "cmd-item");

    EXPECT_EQ(resolvePower(device, object("{}"), false).kind, K::NoPowerCommand);
    EXPECT_EQ(resolvePower(object("{}"), object("{}"), true).kind, K::NoPowerCommand);
    EXPECT_EQ(noPowerCommandError(),
              (Error{"OrbeluneMenuBar", 6, "No power command is enabled for this light."}));
}

TEST(DeviceControlTest, LightColorControlsNeedACommand) {
    const JsonObject named = object(R"({"command":"set_color"})");
    const JsonObject unnamed = object(R"({"command":"","hue":120})");
    EXPECT_TRUE(hasLightColorControls(&named, nullptr));
    EXPECT_TRUE(hasLightColorControls(nullptr, &named));
    EXPECT_TRUE(hasLightColorControls(&unnamed, &named));
    EXPECT_FALSE(hasLightColorControls(&unnamed, &unnamed));
    EXPECT_FALSE(hasLightColorControls(nullptr, nullptr));
}

TEST(DeviceControlTest, StatusTextPrefersReasonThenTemperaturesThenStatus) {
    struct Case {
        const char* device;
        std::optional<std::string> status;
    };
    const Case cases[] = {
        {R"({"unavailableReason":"Offline","state":{"temperature":20}})", "Offline"},
        {R"({"unavailableReason":"","state":{"temperature":"19.5"}})", "19.5"},
        {R"({"state":{"currentTemperature":21.004,"temperature":18}})", "21"},
        {R"({"state":{"currentTemperature":"warm","temperature":18.3}})", "18.3"},
        {R"({"state":{"status":"Open"}})", "Open"},
        {R"({"state":{"status":""}})", std::nullopt},
        {R"({"state":{}})", std::nullopt},
        {R"({"state":"on","unavailableReason":7})", std::nullopt},
        {R"({})", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(statusText(object(c.device)), c.status) << c.device;
    }
}

TEST(DeviceControlTest, FormatNumberWritesNearWholeNumbersWithoutDecimals) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, const char*> cases[] = {
        {21.004, "21"},
        {20.996, "21"},
        {21.5, "21.5"},
        {21.02, "21.0"},
        {-0.004, "0"},
        {0.004, "0"},
        {2.5, "2.5"},
        {-2.995, "-3"},
        {-3, "-3"},
        {9.0e18, "9000000000000000000"},
        {1.0e19, "10000000000000000000.0"},
        {-1.0e19, "-10000000000000000000.0"},
        {inf, "inf"},
        {-inf, "-inf"},
        {nan, "nan"},
        {-nan, "nan"},
    };
    for (const auto& [x, text] : cases) {
        EXPECT_EQ(formatNumber(x), text) << x;
    }
    EXPECT_EQ(formatNumber(1e300).size(), 303u);  // every digit, then ".0"
}

TEST(DeviceControlTest, ColorPayloadCarriesHueSaturationRgbAndHex) {
    struct Case {
        Color color;
        double hue;
        double saturation;
        std::int64_t r, g, b;
        const char* hex;
    };
    const Case cases[] = {
        {Color::hsb(0, 1, 1), 0, 100, 255, 0, 0, "#FF0000"},
        {Color::hsb(0.5, 0.5, 0.8), 180, 50, 102, 204, 204, "#66CCCC"},
        {Color::calibratedRGB(0.0, 0.5, 1.0), 210, 100, 0, 128, 255, "#0080FF"},
        {Color::calibratedWhite(0.2), 0, 0, 51, 51, 51, "#333333"},
    };
    for (const Case& c : cases) {
        const JsonObject payload = colorPayload(c.color);
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(payload.size(), 6u);
        EXPECT_NEAR(payload.at("hue").as_double(), c.hue, 1e-9);
        EXPECT_NEAR(payload.at("sat").as_double(), c.saturation, 1e-9);
        EXPECT_NEAR(payload.at("saturation").as_double(), c.saturation, 1e-9);
        EXPECT_NEAR(payload.at("hs").as_array().at(0).as_double(), c.hue, 1e-9);
        EXPECT_NEAR(payload.at("hs").as_array().at(1).as_double(), c.saturation, 1e-9);
        EXPECT_EQ(payload.at("rgb"), (json::array{c.r, c.g, c.b}));
        EXPECT_EQ(payload.at("hex").as_string(), c.hex);
    }
}

TEST(DeviceControlTest, SupportsDeviceAppsByCapabilityOrIdentifyingToken) {
    struct Case {
        const char* device;
        bool apps;
    };
    const Case cases[] = {
        {R"({"capabilities":{"apps":"yes"}})", true},
        {R"({"capabilities":{"appleTv":1}})", true},
        {R"({"capabilities":{"apps":false,"appleTv":"no"}})", false},
        {R"({"name":"Living Room Apple TV"})", false},
        {R"({"name":"AppleTV Den"})", true},
        {R"({"driverKey":"atv_companion"})", true},
        {R"({"name":"Bedroom","kind":"Apple TV"})", true},
        {R"({"state":{"manufacturer":"Apple","deviceType":"apple-tv"}})", true},
        {R"({"state":{"brand":"Apple","type":"TV"}})", false},
        {R"({"state":{"extras":{"platform":"ATV4K"}}})", true},
        {R"({"state":{"extras":"appletv"}})", false},
        {R"({"extras":{"platform":"appletv"}})", false},
        {R"({"name":"Smart TV","state":{"domain":"media_player"}})", false},
        // Tokens: separators fold, only the whole word, one word anywhere, or a start counts.
        {R"({"name":"  Apple---TV  "})", true},
        {R"({"name":"Apple TV 2"})", false},
        {R"({"name":"MyAppleTv"})", true},
        {R"({"kind":"at v"})", false},
        {R"({"name":"Den","driverKey":"ATV"})", true},
        {R"({"name":"AT"})", false},
        {R"({"name":7,"kind":true})", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(supportsDeviceApps(object(c.device)), c.apps) << c.device;
    }
}

}  // namespace
}  // namespace corvix

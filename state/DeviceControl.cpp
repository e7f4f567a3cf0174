#include "state/DeviceControl.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <unordered_set>

namespace corvix {

namespace {

bool isTokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

/// Tokens keep only ASCII letters and digits, so only ASCII letters need lowering.
char asciiLowercase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string commandName(const JsonObject& record) {
    return identifierText(record, "key", identifierText(record, "label", ""));
}

bool tokenIn(const std::unordered_set<std::string>& tokens, const JsonObject& record,
             std::string_view key) {
    return tokens.contains(commandToken(identifierText(record, key, "")));
}

/// The text of a member that must be a non-empty JSON string; none otherwise.
std::optional<std::string> nonEmptyString(const JsonObject& object, std::string_view key) {
    const json::value* value = member(object, key);
    if (value && value->is_string() && !value->get_string().empty()) {
        return std::string(value->get_string());
    }
    return std::nullopt;
}

std::int64_t colorByte(double component) {
    if (std::isnan(component)) {
        return 0;
    }
    return std::llround(std::clamp(component * 255.0, 0.0, 255.0));
}

}  // namespace

std::string commandToken(std::string_view text) {
    std::string token;
    token.reserve(text.size());
    bool pendingSeparator = false;
    for (char raw : text) {
        const char c = asciiLowercase(raw);
        if (isTokenCharacter(c)) {
            // Runs of anything else become one "_", never at either end.
            if (pendingSeparator && !token.empty()) {
                token.push_back('_');
            }
            pendingSeparator = false;
            token.push_back(c);
        } else {
            pendingSeparator = true;
        }
    }
    return token;
}

ObjectList uniqueCommands(const ObjectList& records) {
    ObjectList unique;
    std::unordered_set<std::string> seen;
    for (const JsonObject* record : records) {
        std::string token = commandToken(commandName(*record));
        if (!token.empty() && seen.insert(std::move(token)).second) {
            unique.push_back(record);
        }
    }
    return unique;
}

ObjectList actionableCommands(const ObjectList& records) {
    ObjectList actionable;
    for (const JsonObject* record : uniqueCommands(records)) {
        if (!identifierText(*record, "itemId", "").empty() ||
            identifierText(*record, "payloadHint", "").empty()) {
            actionable.push_back(record);
        }
    }
    return actionable;
}

const JsonObject* commandMatching(const ObjectList& records,
                                  std::span<const std::string_view> names) {
    std::unordered_set<std::string> tokens;
    for (std::string_view name : names) {
        tokens.insert(commandToken(name));
    }
    for (const JsonObject* record : records) {
        if (tokenIn(tokens, *record, "key") || tokenIn(tokens, *record, "label")) {
            return record;
        }
    }
    return nullptr;
}

std::string powerItemId(const JsonObject& power, bool desired) {
    return identifierText(power, desired ? "onItemId" : "offItemId",
                          identifierText(power, "toggleItemId", ""));
}

const JsonObject* powerCommand(const JsonObject& device, bool desired) {
    ObjectList candidates;
    if (const JsonObject* commands = objectMember(device, "commands")) {
        // Each list loses its own duplicates; a name may still appear in both.
        candidates = uniqueCommands(array(*commands, "primary"));
        const ObjectList other = uniqueCommands(array(*commands, "other"));
        candidates.insert(candidates.end(), other.begin(), other.end());
    }
    const JsonObject* match = commandMatching(
        candidates, desired ? std::span<const std::string_view>(powerOnCommandNames)
                            : std::span<const std::string_view>(powerOffCommandNames));
    return match ? match : commandMatching(candidates, powerToggleCommandNames);
}

PowerResolution resolvePower(const JsonObject& device, const JsonObject& power, bool desired) {
    if (std::string itemId = powerItemId(power, desired); !itemId.empty()) {
        return {PowerResolution::Kind::RunItem, std::move(itemId), nullptr};
    }
    if (const JsonObject* command = powerCommand(device, desired)) {
        return {PowerResolution::Kind::RunCommand, {}, command};
    }
    return {};
}

Error noPowerCommandError() {
    return programError(6, "No power command is enabled for this light.");
}

bool hasLightColorControls(const JsonObject* color, const JsonObject* colorTemperature) {
    return (color && !identifierText(*color, "command", "").empty()) ||
           (colorTemperature && !identifierText(*colorTemperature, "command", "").empty());
}

std::optional<std::string> statusText(const JsonObject& device) {
    if (auto reason = nonEmptyString(device, "unavailableReason")) {
        return reason;
    }
    const JsonObject* state = objectMember(device, "state");
    if (!state) {
        return std::nullopt;
    }
    if (auto temperature = optionalDouble(*state, "currentTemperature")) {
        return formatNumber(*temperature);
    }
    if (auto temperature = optionalDouble(*state, "temperature")) {
        return formatNumber(*temperature);
    }
    return nonEmptyString(*state, "status");
}

std::string formatNumber(double x) {
    if (std::isnan(x)) {
        return "nan";  // whatever its sign bit says
    }
    const double r = std::round(x);  // halves away from zero
    // 2^63 is exact in a double; the bounds also keep infinities out of the cast.
    constexpr double kInt64Limit = 9223372036854775808.0;
    if (r >= -kInt64Limit && r < kInt64Limit && std::fabs(r - x) < 0.01) {
        return std::to_string(static_cast<long long>(r));
    }
    return fixedText(x, 1);
}

JsonObject colorPayload(const Color& color) {
    const Color device = color.usingDeviceRGB();
    const double hue = device.hueComponent() * 360.0;
    const double saturation = device.saturationComponent() * 100.0;
    const std::int64_t r = colorByte(device.redComponent());
    const std::int64_t g = colorByte(device.greenComponent());
    const std::int64_t b = colorByte(device.blueComponent());
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", static_cast<unsigned>(r),
                  static_cast<unsigned>(g), static_cast<unsigned>(b));

    JsonObject payload;
    payload["hue"] = hue;
    payload["sat"] = saturation;
    payload["saturation"] = saturation;
    payload["hs"] = json::array{hue, saturation};
    payload["rgb"] = json::array{r, g, b};
    payload["hex"] = hex;
    return payload;
}

namespace {

/// The command token of `text` names an Apple TV: "apple_tv", "appletv" anywhere (a room name
/// before "apple_tv" does not count; written as one word it does), or a start "atv". Made on
/// the fly, as every device of every build asks, mostly about texts that are not.
bool tokenNamesAppleTv(std::string_view text) {
    constexpr std::string_view kWhole = "apple_tv", kInside = "appletv", kStart = "atv";
    std::size_t length = 0;
    // How much of "appletv" the token ends with; no proper start of it reappears inside it, so
    // a mismatch starts over.
    std::size_t insideMatched = 0;
    bool whole = true, start = true, inside = false;
    auto emit = [&](char c) {
        whole = whole && length < kWhole.size() && kWhole[length] == c;
        start = start && (length >= kStart.size() || kStart[length] == c);
        insideMatched = kInside[insideMatched] == c ? insideMatched + 1 : (c == kInside[0] ? 1 : 0);
        if (insideMatched == kInside.size()) {
            inside = true;
            insideMatched = 0;
        }
        ++length;
    };
    bool pendingSeparator = false;
    for (char raw : text) {
        const char c = asciiLowercase(raw);
        if (!isTokenCharacter(c)) {
            pendingSeparator = true;
            continue;
        }
        if (pendingSeparator && length > 0) {
            emit('_');
        }
        pendingSeparator = false;
        emit(c);
    }
    return (whole && length == kWhole.size()) || inside || (start && length >= kStart.size());
}

/// `tokenNamesAppleTv` of `string(value)`.
bool namesAppleTv(const json::value* value) {
    if (!value) {
        return false;
    }
    if (value->is_string()) {
        return tokenNamesAppleTv(value->get_string());
    }
    return tokenNamesAppleTv(string(value));
}

}  // namespace

bool supportsDeviceApps(const JsonObject& device) {
    const JsonObject* capabilities = objectMember(device, "capabilities");
    if (capabilities &&
        (bool_(*capabilities, "apps", false) || bool_(*capabilities, "appleTv", false))) {
        return true;
    }
    const JsonObject* state = objectMember(device, "state");
    const JsonObject* extras = state ? objectMember(*state, "extras") : nullptr;
    auto names = [](const JsonObject* record, std::initializer_list<std::string_view> keys) {
        return record && std::any_of(keys.begin(), keys.end(), [record](std::string_view key) {
                   return namesAppleTv(member(*record, key));
               });
    };
    return names(&device, {"driverKey", "name", "kind"}) ||
           names(state, {"driverKey", "type", "deviceType", "domain", "manufacturer", "brand"}) ||
           names(extras, {"driverKey", "platform"});
}

std::string deviceSymbol(std::string_view kind) {
    if (kind == "light") {
        return "lightbulb";
    }
    if (kind == "climate") {
        return "snowflake";
    }
    if (kind == "media") {
        return "tv";
    }
    if (kind == "sensor") {
        return "thermometer.medium";
    }
    if (kind == "switch") {
        return "powerplug";
    }
    if (kind == "cover") {
        return "blinds.horizontal.closed";
    }
    if (kind == "lock") {
        return "lock";
    }
    return "circle.grid.2x2";
}

}  // namespace corvix

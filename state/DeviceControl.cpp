#include "state/DeviceControl.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

namespace corvix {

namespace {

bool isTokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
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

std::string printf1(double x) {
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, "%.1f", x);
    if (length < 0) {
        return {};
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        return std::string(buffer, static_cast<std::size_t>(length));
    }
    // Magnitudes far beyond the 64-bit range print every integer digit.
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.1f", x);
    text.resize(static_cast<std::size_t>(length));
    return text;
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
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(raw)));
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
    return printf1(x);
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

bool supportsDeviceApps(const JsonObject& device) {
    static const JsonObject kEmpty;
    const JsonObject* capabilities = objectMember(device, "capabilities");
    if (capabilities &&
        (bool_(*capabilities, "apps", false) || bool_(*capabilities, "appleTv", false))) {
        return true;
    }
    const JsonObject* state = objectMember(device, "state");
    const JsonObject& stateObject = state ? *state : kEmpty;
    const JsonObject* extras = objectMember(stateObject, "extras");
    const JsonObject& extrasObject = extras ? *extras : kEmpty;

    const std::string texts[] = {
        string(device, "driverKey"),      string(device, "name"),
        string(device, "kind"),           string(stateObject, "driverKey"),
        string(stateObject, "type"),      string(stateObject, "deviceType"),
        string(stateObject, "domain"),    string(stateObject, "manufacturer"),
        string(stateObject, "brand"),     string(extrasObject, "driverKey"),
        string(extrasObject, "platform"),
    };
    return std::any_of(std::begin(texts), std::end(texts), [](const std::string& text) {
        const std::string token = commandToken(text);
        // A room name before "apple_tv" does not count; written as one word it does.
        return token == "apple_tv" || token.find("appletv") != std::string::npos ||
               token.starts_with("atv");
    });
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

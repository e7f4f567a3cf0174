// A state document as the hub might send it, read the way the program reads it: the envelope,
// the menu's structure signature, the forgiving accessors on every value, and the automation
// and device models on every object.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "FuzzSupport.h"
#include "app/StructureSignature.h"
#include "hub/OrbeluneClient.h"
#include "platform/ui/Color.h"
#include "state/Automations.h"
#include "state/DeviceControl.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

using fuzz::require;

bool isToken(std::string_view token) {
    if (token.empty()) {
        return true;
    }
    if (token.front() == '_' || token.back() == '_' || token.find("__") != std::string::npos) {
        return false;
    }
    for (char c : token) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
            return false;
        }
    }
    return true;
}

void checkValue(const json::value& value) {
    const std::string text = string(&value, "fallback");
    if (value.is_string() && !value.get_string().empty()) {
        require(text == value.get_string(), "a non-empty text reads as itself");
    }
    const bool whenAbsentTrue = bool_(&value, true);
    const bool whenAbsentFalse = bool_(&value, false);
    if (const auto b = optionalBool(&value)) {
        require(whenAbsentTrue == *b && whenAbsentFalse == *b, "bool_ agrees with optionalBool");
    }
    if (value.is_number()) {
        require(optionalDouble(&value).has_value(), "every number reads as a double");
    }

    const std::vector<double> numbers = numberArray(&value);
    const std::vector<std::string> texts = stringArray(&value);
    const ObjectList objects = array(&value);
    if (value.is_array()) {
        const std::size_t size = value.get_array().size();
        require(numbers.size() <= size && texts.size() <= size, "lists drop, never add");
        require(objects.empty() || objects.size() == size, "object lists are all or nothing");
    } else {
        require(numbers.empty() && texts.empty() && objects.empty(), "only lists give lists");
    }
    for (const std::string& t : texts) {
        require(!t.empty(), "string lists hold no empty texts");
    }
    if (numbers.size() >= 3) {
        const Color color = Color::deviceRGB(numbers[0], numbers[1], numbers[2],
                                             numbers.size() > 3 ? numbers[3] : 1.0);
        const JsonObject payload = colorPayload(color);
        const json::value* hex = member(payload, "hex");
        require(hex && hex->is_string() && hex->get_string().size() == 7,
                "a colour payload's hex is #RRGGBB");
    }
    for (double x : numbers) {
        const std::string shown = formatNumber(x);
        if (std::isfinite(x)) {
            double back = 0;
            std::from_chars(shown.data(), shown.data() + shown.size(), back);
            require(std::fabs(back - x) <= 0.0500001 + std::fabs(x) * 1e-15,
                    "a formatted number is within half a tenth of the value");
        }
    }

    const std::string token = commandToken(text);
    require(isToken(token), "command tokens are lower-case words joined by _");
    require(commandToken(token) == token, "a command token is its own token");
}

void checkCommands(const ObjectList& records) {
    const ObjectList unique = uniqueCommands(records);
    const ObjectList actionable = actionableCommands(records);
    require(unique.size() <= records.size() && actionable.size() <= unique.size(),
            "command filters only drop records");
    std::unordered_set<std::string> tokens;
    for (const JsonObject* record : unique) {
        const std::string name = identifierText(*record, "key", identifierText(*record, "label"));
        const std::string token = commandToken(name);
        require(!token.empty() && tokens.insert(token).second, "unique commands have new tokens");
    }
    const JsonObject* on = commandMatching(records, powerOnCommandNames);
    require(!on || std::find(records.begin(), records.end(), on) != records.end(),
            "a matching command is one of the records");
}

void checkObject(const JsonObject& object) {
    // As an automation.
    const bool avFlow = isAvFlowProgramControl(object);
    require(!(avFlow && isSceneProgramControl(object)), "an AV flow is never a scene");
    if (programAutomationToggleState(object) != AutomationToggleState::NotAToggle) {
        require(avFlow, "only AV flows are toggles");
    }
    (void)programControlKey(object);
    if (auto status = automationStatusText(object)) {
        require(*status == "Active" || *status == "Inactive", "status is Active or Inactive");
    }
    require(!runAutomationAccessibilityLabel(object).empty(), "a run label is never empty");
    require(!automationToggleAccessibilityLabel(object).empty(), "a toggle label is never empty");
    const std::string builder = builderToken(string(object, "programBuilderType"));
    require(builder.find_first_of("- ") == std::string::npos, "builder tokens hold no - or space");

    // As a device and its power control.
    static const JsonObject kNoPower;
    const JsonObject* power = objectMember(object, "power");
    for (bool desired : {true, false}) {
        const PowerResolution resolution = resolvePower(object, power ? *power : kNoPower, desired);
        switch (resolution.kind) {
            case PowerResolution::Kind::RunItem:
                require(!resolution.itemId.empty() && !resolution.command, "an item to run");
                break;
            case PowerResolution::Kind::RunCommand:
                require(resolution.command && resolution.itemId.empty(), "a command to run");
                break;
            case PowerResolution::Kind::NoPowerCommand:
                require(!resolution.command && resolution.itemId.empty(), "nothing to run");
                break;
        }
        (void)powerCommand(object, desired);
    }
    if (auto status = statusText(object)) {
        require(!status->empty(), "a status text is never empty");
    }
    (void)supportsDeviceApps(object);
    (void)hasLightColorControls(objectMember(object, "color"),
                                objectMember(object, "colorTemperature"));
    (void)deviceSymbol(string(object, "kind"));
    for (const auto& member : object) {
        if (member.value().is_array()) {
            checkCommands(array(&member.value()));
        }
    }
}

void walk(const json::value& value) {
    checkValue(value);
    if (value.is_object()) {
        checkObject(value.get_object());
        for (const auto& member : value.get_object()) {
            walk(member.value());
        }
    } else if (value.is_array()) {
        for (const auto& element : value.get_array()) {
            walk(element);
        }
    }
}

/// Changes the values the signature leaves out: device states and the player's progress.
void changeValues(json::object& state) {
    if (auto* rooms = state.if_contains("rooms"); rooms && rooms->is_array()) {
        for (auto& room : rooms->get_array()) {
            auto* devices = room.is_object() ? room.get_object().if_contains("devices") : nullptr;
            if (!devices || !devices->is_array()) {
                continue;
            }
            for (auto& device : devices->get_array()) {
                if (device.is_object()) {
                    device.get_object()["isOn"] = !bool_(device.get_object(), "isOn");
                    device.get_object()["state"] = json::object{{"status", "changed"}};
                }
            }
        }
    }
    if (auto* player = state.if_contains("musicPlayer"); player && player->is_object()) {
        player->get_object()["position"] = 1234.5;
        player->get_object()["track"] = json::object{{"title", "another"}};
    }
}

}  // namespace
}  // namespace corvix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvix;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    Result<JsonObject> state = OrbeluneClient::unwrapEnvelope(body);
    if (!state) {
        return 0;
    }
    const JsonObject& document = state.value();
    const std::string signature = menuStructureSignature(document);
    require(menuStructureSignature(document) == signature, "the signature is stable");

    JsonObject changed = document;
    changeValues(changed);
    require(menuStructureSignature(changed) == signature,
            "device states and playback progress leave the signature alone");

    (void)macControlAvFlows(document);
    std::unordered_set<std::string> keys;
    for (const JsonObject* scene : macControlProgramScenes(document)) {
        const std::string key = programControlKey(*scene);
        require(!key.empty() && keys.insert(key).second, "scenes are listed once by key");
    }
    walk(json::value(document));
    return 0;
}

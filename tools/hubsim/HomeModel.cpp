#include "HomeModel.h"

#include "JsonUtil.h"

#include <algorithm>
#include <set>

namespace hubsim {
namespace json = boost::json;

namespace {

const std::set<std::string> kOnCommands = {"turn_on",  "power_on",  "on",
                                           "light_on", "lights_on", "switch_on"};
const std::set<std::string> kOffCommands = {"turn_off",  "power_off",  "off",
                                            "light_off", "lights_off", "switch_off"};
const std::set<std::string> kToggleCommands = {"toggle",       "power",        "power_toggle",
                                               "toggle_power", "light_toggle", "switch_toggle"};

/// The hub's own reading of loosely typed flags ("true", "no", 1).
bool truthy(const json::value* value, bool fallback) {
    if (!value) {
        return fallback;
    }
    if (value->is_bool()) {
        return value->get_bool();
    }
    if (auto n = number(value)) {
        return *n != 0;
    }
    if (value->is_string()) {
        const std::string t = normalizeCommand(std::string(value->get_string()));
        if (t == "true" || t == "yes" || t == "on" || t == "1") {
            return true;
        }
        if (t == "false" || t == "no" || t == "off" || t == "0") {
            return false;
        }
    }
    return fallback;
}

json::object& child(json::object& parent, const char* key) {
    auto& value = parent[key];
    if (!value.is_object()) {
        value = json::object{};
    }
    return value.get_object();
}

std::string displayName(const json::object& record, const char* fallback) {
    std::string name = text(record.if_contains("label"));
    if (name.empty()) {
        name = text(record.if_contains("name"));
    }
    return name.empty() ? fallback : name;
}

bool isAvFlow(const json::object& record) {
    for (const char* key : {"programBuilderType", "builderType", "icon"}) {
        const std::string t = normalizeCommand(text(record.if_contains(key)));
        if (t == "av_flow" || t == "avflow" || t == "program_flow") {
            return true;
        }
    }
    return false;
}

/// Every command key a device lists anywhere (command lists and remote layout).
std::set<std::string> listedCommands(const json::object& device) {
    std::set<std::string> keys;
    auto collect = [&keys](const json::value* list) {
        if (!list || !list->is_array()) {
            return;
        }
        for (const auto& record : list->get_array()) {
            if (const auto* r = object(&record)) {
                if (auto key = text(r->if_contains("key")); !key.empty()) {
                    keys.insert(normalizeCommand(key));
                }
            }
        }
    };
    if (const auto* commands = object(device.if_contains("commands"))) {
        for (const char* list : {"primary", "navigation", "media", "other"}) {
            collect(commands->if_contains(list));
        }
    }
    if (const auto* remote = object(device.if_contains("mediaRemote"))) {
        collect(remote->if_contains("advanced"));
        if (const auto* slots = object(remote->if_contains("slots"))) {
            for (const auto& slot : *slots) {
                if (const auto* r = object(&slot.value())) {
                    if (auto key = text(r->if_contains("key")); !key.empty()) {
                        keys.insert(normalizeCommand(key));
                    }
                }
            }
        }
    }
    return keys;
}

std::string controlCommand(const json::object& device, const char* control, const char* member) {
    if (const auto* c = object(device.if_contains(control))) {
        return normalizeCommand(text(c->if_contains(member)));
    }
    return {};
}

std::optional<double> firstNumber(const json::object& body,
                                  std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (auto n = number(argument(body, key))) {
            return n;
        }
    }
    return std::nullopt;
}

void setPower(json::object& device, bool on) {
    child(device, "power")["isOn"] = on;
    auto& state = child(device, "state");
    const std::string kind = text(device.if_contains("kind"));
    if (kind == "media") {
        state["power"] = on;
        if (!on) {
            state["playback"] = "idle";
        }
    }
    if (kind == "light" || kind == "switch" || kind == "media") {
        state["status"] = on ? "On" : "Off";
    }
    if (kind == "climate") {
        state["status"] = on ? "Heating" : "Off";
    }
}

void mergePatch(json::object& target, const json::object& patch) {
    for (const auto& [key, value] : patch) {
        if (value.is_null()) {
            target.erase(key);
        } else if (value.is_object()) {
            auto& slot = target[key];
            if (!slot.is_object()) {
                slot = json::object{};
            }
            mergePatch(slot.get_object(), value.get_object());
        } else {
            target[key] = value;
        }
    }
}

}  // namespace

std::string normalizeCommand(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == ' ' || c == '-' || c == '\t') {
            out += '_';
        } else {
            out += static_cast<char>(std::tolower(c));
        }
    }
    return out;
}

HomeModel::HomeModel(HomeCatalogue catalogue, std::int64_t nowMs, int playlistCount)
    : home_(std::move(catalogue)), music_(nowMs, playlistCount) {}

HomeModel::Located HomeModel::locate(const std::string& deviceId) {
    for (auto& room : home_.rooms) {
        auto& r = room.as_object();
        auto* devices = r.if_contains("devices");
        if (!devices || !devices->is_array()) {
            continue;
        }
        for (auto& d : devices->get_array()) {
            if (d.is_object() && text(d.get_object().if_contains("id")) == deviceId) {
                return {&d.get_object(), &r};
            }
        }
    }
    return {};
}

json::object* HomeModel::device(const std::string& id) {
    return locate(id).device;
}

json::object* HomeModel::program(const std::string& id) {
    for (auto& entry : home_.programs) {
        if (text(entry.record.if_contains("id")) == id) {
            return &entry.record;
        }
    }
    return nullptr;
}

json::object* HomeModel::pinned(const std::string& id) {
    for (auto& item : home_.pinned) {
        if (item.is_object() && text(item.get_object().if_contains("id")) == id) {
            return &item.get_object();
        }
    }
    return nullptr;
}

std::vector<std::string> HomeModel::selectedProgramIds() const {
    std::vector<std::string> ids;
    for (const auto& entry : home_.programs) {
        if (entry.selected) {
            ids.push_back(text(entry.record.if_contains("programId")));
        }
    }
    return ids;
}

json::object HomeModel::state(std::int64_t nowMs, const std::string& origin) const {
    json::array rooms = home_.rooms;
    for (auto& room : rooms) {
        if (auto* devices = room.as_object().if_contains("devices");
            devices && devices->is_array()) {
            for (auto& d : devices->get_array()) {
                d.as_object().erase("_sim");
            }
        }
    }
    json::array programScenes, avFlows, programs;
    for (const auto& entry : home_.programs) {
        if (!entry.selected) {
            continue;
        }
        for (const auto& list : entry.lists) {
            auto& target = list == "avFlows"         ? avFlows
                           : list == "programScenes" ? programScenes
                                                     : programs;
            target.push_back(entry.record);
        }
    }
    return json::object{{"hub", {{"name", "Orbelune OS"}, {"simulated", true}}},
                        {"generatedAt", nowMs},
                        {"pinned", home_.pinned},
                        {"rooms", std::move(rooms)},
                        {"programScenes", std::move(programScenes)},
                        {"scenes", home_.legacyScenes},
                        {"avFlows", std::move(avFlows)},
                        {"programs", std::move(programs)},
                        {"musicPlayer", music_.render(nowMs, origin)}};
}

Reply HomeModel::runProgram(ProgramEntry& entry, const json::value* desired, std::int64_t nowMs) {
    auto& record = entry.record;
    const std::string name = displayName(record, "Automation");
    if (entry.unsupported) {
        return Reply::refused(name + ": this action is not supported by its driver");
    }
    if (auto* toggle = object(record.if_contains("toggle"));
        toggle && isAvFlow(record) && truthy(toggle->if_contains("capable"), false)) {
        const bool current = truthy(toggle->if_contains("isOn"), false);
        const bool next = desired ? desired->get_bool() : !current;
        if (!next && entry.offFails) {
            return Reply::refused(name + " has no off script; add one in the program builder");
        }
        child(record, "toggle")["isOn"] = next;
    } else if (auto* scene = object(record.if_contains("scene"))) {
        const bool reversible = truthy(scene->if_contains("reversible"), false);
        const bool current = truthy(scene->if_contains("active"), false);
        bool next = true;
        if (reversible) {
            next = desired ? desired->get_bool() : !current;
        }
        child(record, "scene")["active"] = next;
    }
    record["lastRunAt"] = nowMs;
    // Pinned copies of this automation show the same state.
    if (auto* pin = pinned(text(record.if_contains("id")))) {
        for (const char* key : {"toggle", "scene"}) {
            if (const auto* value = record.if_contains(key)) {
                (*pin)[key] = *value;
            }
        }
    }
    return Reply::success("Ran " + name);
}

Reply HomeModel::runDeviceItem(const std::string& id, const json::value* desired,
                               std::int64_t nowMs, bool& found) {
    found = true;
    for (auto& room : home_.rooms) {
        auto* devices = room.as_object().if_contains("devices");
        if (!devices || !devices->is_array()) {
            continue;
        }
        for (auto& d : devices->get_array()) {
            auto& device = d.as_object();
            const std::string name = displayName(device, "Device");
            if (const auto* power = object(device.if_contains("power"))) {
                const bool isOn = truthy(power->if_contains("isOn"), false);
                if (text(power->if_contains("onItemId")) == id) {
                    setPower(device, true);
                    return Reply::success(name + " on");
                }
                if (text(power->if_contains("offItemId")) == id) {
                    setPower(device, false);
                    return Reply::success(name + " off");
                }
                if (text(power->if_contains("toggleItemId")) == id) {
                    setPower(device, desired ? desired->get_bool() : !isOn);
                    return Reply::success(name + " toggled");
                }
            }
            if (const auto* items = device.if_contains("items"); items && items->is_array()) {
                for (const auto& item : items->get_array()) {
                    if (const auto* r = object(&item); r && text(r->if_contains("id")) == id) {
                        auto& state = child(device, "state");
                        state["status"] = displayName(*r, "Item") + " at " + std::to_string(nowMs);
                        state["lastRunAt"] = nowMs;
                        return Reply::success("Ran " + displayName(*r, "item"));
                    }
                }
            }
            // Command records that name a hub item (remote layouts, command lists).
            std::vector<const json::object*> records;
            auto collect = [&records](const json::value* list) {
                if (list && list->is_array()) {
                    for (const auto& r : list->get_array()) {
                        if (r.is_object()) {
                            records.push_back(&r.get_object());
                        }
                    }
                }
            };
            if (const auto* commands = object(device.if_contains("commands"))) {
                for (const char* list : {"primary", "navigation", "media", "other"}) {
                    collect(commands->if_contains(list));
                }
            }
            if (const auto* remote = object(device.if_contains("mediaRemote"))) {
                collect(remote->if_contains("advanced"));
            }
            for (const auto* r : records) {
                if (text(r->if_contains("itemId")) == id) {
                    const std::string label = displayName(*r, "Command");
                    child(device, "state")["lastCommand"] = label;
                    return Reply::success("Ran " + label + " on " + name);
                }
            }
        }
    }
    found = false;
    return {};
}

Reply HomeModel::runItem(const std::string& id, const json::object& body, std::int64_t nowMs) {
    const auto* confirm = body.if_contains("confirm");
    if (!confirm || !confirm->is_bool() || !confirm->get_bool()) {
        return Reply::error(400, "Running an item needs \"confirm\": true");
    }
    const auto* desired = body.if_contains("desiredState");
    if (desired && !desired->is_bool()) {
        return Reply::error(400, "\"desiredState\" must be a boolean");
    }
    for (auto& entry : home_.programs) {
        if (text(entry.record.if_contains("id")) == id) {
            return runProgram(entry, desired, nowMs);
        }
    }
    if (auto* pin = pinned(id)) {
        const std::string name = displayName(*pin, "Control");
        if (auto* toggle = object(pin->if_contains("toggle"));
            toggle && truthy(toggle->if_contains("capable"), false)) {
            const bool current = truthy(toggle->if_contains("isOn"), false);
            child(*pin, "toggle")["isOn"] = desired ? desired->get_bool() : !current;
        }
        (*pin)["lastRunAt"] = nowMs;
        return Reply::success("Ran " + name);
    }
    for (auto& scene : home_.legacyScenes) {
        auto& record = scene.as_object();
        if (text(record.if_contains("id")) == id) {
            child(record, "scene")["active"] = true;
            record["lastRunAt"] = nowMs;
            return Reply::success("Ran " + displayName(record, "Scene"));
        }
    }
    bool found = false;
    Reply reply = runDeviceItem(id, desired, nowMs, found);
    if (found) {
        return reply;
    }
    return Reply::error(404, "Unknown item \"" + id + "\"");
}

Reply HomeModel::runCommand(const std::string& deviceId, const std::string& command,
                            const json::object& body, std::int64_t nowMs) {
    auto* devicePtr = device(deviceId);
    if (!devicePtr) {
        return Reply::error(404, "Unknown device \"" + deviceId + "\"");
    }
    auto& device = *devicePtr;
    const std::string name = displayName(device, "Device");
    const std::string kind = text(device.if_contains("kind"));
    const std::string cmd = normalizeCommand(command);
    if (cmd.empty()) {
        return Reply::error(400, "Empty command");
    }
    if (auto reason = text(device.if_contains("unavailableReason")); !reason.empty()) {
        return Reply::refused(name + " is not reachable: " + reason);
    }
    if (const auto* sim = object(device.if_contains("_sim"))) {
        if (const auto* unsupported = sim->if_contains("unsupported");
            unsupported && unsupported->is_array()) {
            for (const auto& key : unsupported->get_array()) {
                if (normalizeCommand(text(&key)) == cmd) {
                    return Reply::refused("Command \"" + command + "\" is not supported by " +
                                          name);
                }
            }
        }
    }
    auto& state = child(device, "state");
    state["lastCommandAt"] = nowMs;

    if (device.contains("power")) {
        const bool isOn = truthy(object(device.if_contains("power"))->if_contains("isOn"), false);
        if (kOnCommands.count(cmd) || kOffCommands.count(cmd) || kToggleCommands.count(cmd)) {
            const bool next = kOnCommands.count(cmd)    ? true
                              : kOffCommands.count(cmd) ? false
                                                        : !isOn;
            setPower(device, next);
            return Reply::success(name + (next ? " on" : " off"));
        }
    }
    if (cmd == controlCommand(device, "brightness", "command")) {
        auto value =
            firstNumber(body, {"brightness", "fanSpeed", "position", "level", "value", "percent"});
        if (!value) {
            return Reply::error(400, command + " needs a number \"value\"");
        }
        auto& level = child(device, "brightness");
        const double low = number(level.if_contains("min")).value_or(0);
        const double high = number(level.if_contains("max")).value_or(100);
        const double v = std::clamp(*value, low, high);
        level["value"] = jsonNumber(v);
        if (kind == "light" && v > 0 && device.contains("power")) {
            setPower(device, true);
        }
        if (kind == "cover") {
            state["status"] = v <= 0 ? std::string("Closed")
                                     : "Open " + std::to_string(static_cast<int>(v)) + "%";
        }
        return Reply::success(name + " set to " + std::to_string(static_cast<int>(v)));
    }
    if (cmd == controlCommand(device, "color", "command")) {
        auto hue = firstNumber(body, {"hue"});
        auto saturation = firstNumber(body, {"saturation", "sat"});
        if (!hue || !saturation) {
            return Reply::error(400, command + " needs \"hue\" and \"saturation\"");
        }
        auto& color = child(device, "color");
        color["hue"] = jsonNumber(std::clamp(*hue, 0.0, 360.0));
        color["saturation"] = jsonNumber(std::clamp(*saturation, 0.0, 100.0));
        if (const auto* hex = argument(body, "hex"); hex && hex->is_string()) {
            color["hex"] = *hex;
        }
        if (device.contains("power")) {
            setPower(device, true);
        }
        return Reply::success(name + " colour set");
    }
    if (cmd == controlCommand(device, "colorTemperature", "command")) {
        auto mireds = firstNumber(body, {"mireds", "ct", "colorTemp", "colorTemperature", "value"});
        if (!mireds) {
            return Reply::error(400, command + " needs a number \"mireds\"");
        }
        auto& ct = child(device, "colorTemperature");
        const double low = number(ct.if_contains("min")).value_or(153);
        const double high = number(ct.if_contains("max")).value_or(500);
        ct["value"] = jsonNumber(std::clamp(std::round(*mireds), low, high));
        if (device.contains("power")) {
            setPower(device, true);
        }
        return Reply::success(name + " colour temperature set");
    }
    if (cmd == controlCommand(device, "climate", "modeCommand")) {
        const std::string mode = text(argument(body, "mode"));
        auto& climate = child(device, "climate");
        const auto* modes = climate.if_contains("modes");
        bool known = false;
        if (modes && modes->is_array()) {
            for (const auto& m : modes->get_array()) {
                known = known || normalizeCommand(text(&m)) == normalizeCommand(mode);
            }
        }
        if (mode.empty() || !known) {
            return Reply::refused("Mode \"" + mode + "\" is not supported by " + name);
        }
        climate["mode"] = mode;
        const std::string m = normalizeCommand(mode);
        state["status"] = m == "off"    ? "Off"
                          : m == "cool" ? "Cooling"
                          : m == "heat" ? "Heating"
                                        : "Running";
        if (device.contains("power")) {
            child(device, "power")["isOn"] = m != "off";
        }
        return Reply::success(name + " mode " + mode);
    }
    if (cmd == controlCommand(device, "climate", "targetCommand")) {
        auto target = firstNumber(body, {"temperature", "value"});
        if (!target) {
            return Reply::error(400, command + " needs a number \"temperature\"");
        }
        child(device, "climate")["targetTemperature"] = jsonNumber(std::clamp(*target, 5.0, 35.0));
        return Reply::success(name + " target set");
    }

    if (!listedCommands(device).count(cmd)) {
        return Reply::refused("Command \"" + command + "\" is not supported by " + name);
    }
    state["lastCommand"] = command;
    if (kind == "lock" && (cmd == "lock" || cmd == "unlock")) {
        state["status"] = cmd == "lock" ? "Locked" : "Unlocked";
    } else if (kind == "cover" && (cmd == "open" || cmd == "close")) {
        child(device, "brightness")["value"] = cmd == "open" ? 100 : 0;
        state["status"] = cmd == "open" ? "Open 100%" : "Closed";
    } else if (cmd == "play_pause") {
        state["playback"] = text(state.if_contains("playback")) == "playing" ? "paused" : "playing";
    } else if (cmd == "volume_up" || cmd == "volume_down") {
        const double volume = number(state.if_contains("volume")).value_or(20);
        state["volume"] =
            jsonNumber(std::clamp(volume + (cmd == "volume_up" ? 1 : -1), 0.0, 100.0));
    } else if (cmd == "mute") {
        state["muted"] = !truthy(state.if_contains("muted"), false);
    } else if (cmd.rfind("input_", 0) == 0) {
        state["currentAppName"] = "Input " + cmd.substr(6);
        state.erase("title");
    }
    return Reply::success("Sent " + command + " to " + name);
}

Reply HomeModel::mergeDevice(const std::string& id, const json::object& patch) {
    auto* target = device(id);
    if (!target) {
        return Reply::error(404, "Unknown device \"" + id + "\"");
    }
    if (patch.contains("id")) {
        return Reply::error(400, "A device keeps its \"id\"");
    }
    mergePatch(*target, patch);
    if (const auto* power = object(patch.if_contains("power")); power && !patch.contains("state")) {
        if (const auto* isOn = power->if_contains("isOn"); isOn && isOn->is_bool()) {
            setPower(*target, isOn->get_bool());
        }
    }
    Reply reply = Reply::success("Changed " + displayName(*target, "device"));
    reply.data = *target;
    reply.data.erase("_sim");
    return reply;
}

json::array HomeModel::programChoices() const {
    json::array out;
    for (const auto& entry : home_.programs) {
        const auto& r = entry.record;
        json::object choice{{"id", text(r.if_contains("programId"))},
                            {"name", displayName(r, "Automation")},
                            {"selected", entry.selected},
                            {"enabled", entry.enabled},
                            {"builderLabel", entry.builderLabel}};
        for (const char* key : {"programBuilderType", "builderType", "icon"}) {
            if (const auto* value = r.if_contains(key)) {
                choice[key] = *value;
            }
        }
        out.push_back(std::move(choice));
    }
    return out;
}

Reply HomeModel::saveProgramChoices(const json::object& body) {
    const auto* ids = body.if_contains("programIds");
    if (!ids || !ids->is_array()) {
        return Reply::error(400, "\"programIds\" must be a list of texts");
    }
    std::set<std::string> chosen;
    for (const auto& id : ids->get_array()) {
        if (!id.is_string()) {
            return Reply::error(400, "\"programIds\" must be a list of texts");
        }
        chosen.insert(std::string(id.get_string()));
    }
    for (auto& entry : home_.programs) {
        entry.selected = entry.enabled && chosen.count(text(entry.record.if_contains("programId")));
    }
    return Reply::success("Saved " + std::to_string(chosen.size()) + " automations");
}

Reply HomeModel::deviceApps(const std::string& deviceId, const std::string& origin) const {
    auto* self = const_cast<HomeModel*>(this);
    const auto* d = self->device(deviceId);
    if (!d) {
        return Reply::error(404, "Unknown device \"" + deviceId + "\"");
    }
    auto found = home_.apps.find(deviceId);
    if (found == home_.apps.end()) {
        return Reply::refused("Apps are not supported by " + displayName(*d, "this device"));
    }
    json::array apps = found->second;
    for (auto& app : apps) {
        auto& record = app.as_object();
        std::string icon = text(record.if_contains("iconUrl"));
        if (auto at = icon.find("{origin}"); at != std::string::npos) {
            record["iconUrl"] = icon.replace(at, 8, origin);
        }
    }
    Reply reply = Reply::success("", false);
    reply.data["apps"] = std::move(apps);
    return reply;
}

Reply HomeModel::setDeviceApps(const std::string& deviceId, const json::array& apps) {
    const auto* d = device(deviceId);
    if (!d) {
        return Reply::error(404, "Unknown device \"" + deviceId + "\"");
    }
    for (const auto& app : apps) {
        if (!app.is_object()) {
            return Reply::error(400, "Every app must be a JSON object");
        }
    }
    home_.apps[deviceId] = apps;
    Reply reply = Reply::success(
        std::to_string(apps.size()) + " apps on " + displayName(*d, "the device"), false);
    reply.data["apps"] = apps.size();
    return reply;
}

Reply HomeModel::launchApp(const std::string& deviceId, const std::string& appId,
                           const json::object& body) {
    auto* d = device(deviceId);
    if (!d) {
        return Reply::error(404, "Unknown device \"" + deviceId + "\"");
    }
    if (const auto* bodyAppId = body.if_contains("appId"); bodyAppId && text(bodyAppId) != appId) {
        return Reply::error(400, "\"appId\" in the body differs from the path");
    }
    auto found = home_.apps.find(deviceId);
    if (found == home_.apps.end()) {
        return Reply::refused("Apps are not supported by " + displayName(*d, "this device"));
    }
    for (const auto& app : found->second) {
        const auto& record = app.as_object();
        if (text(record.if_contains("id")) == appId) {
            auto& state = child(*d, "state");
            state["currentApp"] = appId;
            state["currentAppName"] = displayName(record, "App");
            state["playback"] = "playing";
            state.erase("title");
            return Reply::success("Launched " + displayName(record, "app"));
        }
    }
    return Reply::error(404, "Unknown app \"" + appId + "\"");
}

}  // namespace hubsim

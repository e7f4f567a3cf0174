#include "DemoHome.h"

#include "Media.h"

#include <fstream>
#include <sstream>

namespace hubsim {
namespace {

namespace json = boost::json;

// Rooms, pinned controls and the legacy scene list of the demo home.
constexpr const char* kDemoHome = R"json({
  "pinned": [
    {"id": "pinned/porch-lights", "label": "Porch Lights", "icon": "light",
     "toggle": {"capable": true, "isOn": false}},
    {"id": "av/movie-night", "programId": "prog-movie-night", "label": "Movie Night",
     "icon": "av flow", "builderType": "AV-Flow", "toggle": {"capable": true, "isOn": false}},
    {"id": "pinned/doorbell-chime", "label": "Ring Chime", "icon": "program"}
  ],
  "rooms": [
    {"id": "living-room", "name": "Living Room",
     "sensors": {"temperatures": [21.4, 22.1], "humidities": [41, 43]},
     "devices": [
       {"id": "light-ceiling", "name": "Ceiling Light", "kind": "light",
        "power": {"isOn": true, "onItemId": "light-ceiling/on", "offItemId": "light-ceiling/off"},
        "brightness": {"value": 70, "min": 0, "max": 100, "command": "set_brightness"},
        "color": {"command": "set_color", "hue": 32, "saturation": 60},
        "colorTemperature": {"command": "set_color_temp", "min": 153, "max": 500, "value": 300},
        "state": {"status": "On"}},
       {"id": "lamp-floor", "name": "Floor Lamp", "kind": "light",
        "power": {"isOn": false},
        "commands": {"primary": [{"key": "turn_on", "label": "On"},
                                 {"key": "turn_off", "label": "Off"}]}},
       {"id": "tv-living", "name": "Living Room TV", "kind": "media", "driverKey": "lg_webos",
        "power": {"isOn": true, "onItemId": "tv-living/power-on",
                  "offItemId": "tv-living/power-off"},
        "state": {"power": true, "title": "Evening News", "playback": "playing",
                  "currentAppName": "Live TV", "volume": 18, "status": "On"},
        "commands": {
          "navigation": [{"key": "up", "label": "Up"}, {"key": "down", "label": "Down"},
                         {"key": "left", "label": "Left"}, {"key": "right", "label": "Right"},
                         {"key": "select", "label": "OK"}],
          "media": [{"key": "play_pause", "label": "Play/Pause"},
                    {"key": "volume_up", "label": "Vol +"},
                    {"key": "volume_down", "label": "Vol -"}],
          "primary": [{"key": "power_toggle", "label": "Power"}],
          "other": [{"key": "input_hdmi_1", "label": "HDMI 1"},
                    {"key": "picture_mode", "label": "Picture", "payloadHint": "mode"}]},
        "mediaRemote": {
          "slots": {"home": {"key": "home", "label": "Home"},
                    "menu": {"key": "menu", "label": "Menu"},
                    "back": {"key": "back", "label": "Back"},
                    "up": {"key": "up"}, "down": {"key": "down"},
                    "left": {"key": "left"}, "right": {"key": "right"},
                    "select": {"key": "select", "label": "OK"},
                    "previous": {"key": "previous"}, "playPause": {"key": "play_pause"},
                    "next": {"key": "next"}, "volumeDown": {"key": "volume_down"},
                    "mute": {"key": "mute"}, "volumeUp": {"key": "volume_up"}},
          "advanced": [{"key": "input_hdmi_1", "label": "HDMI 1"},
                       {"key": "input_hdmi_2", "label": "HDMI 2"},
                       {"key": "sleep timer", "label": "Sleep Timer"},
                       {"label": "Game Mode", "itemId": "tv-living/game-mode"},
                       {"key": "factory_reset", "label": "Factory Reset"}]},
        "_sim": {"unsupported": ["factory_reset"]}},
       {"id": "atv/living-room", "name": "Living Room Apple TV", "kind": "media",
        "driverKey": "atv_companion", "capabilities": {"apps": true, "appleTv": true},
        "power": {"isOn": true, "toggleItemId": "atv/living-room/power"},
        "state": {"power": true, "currentAppName": "TV", "currentApp": "com.apple.TVWatchList",
                  "playback": "paused", "manufacturer": "Apple", "volume": 30},
        "commands": {"navigation": [{"key": "up"}, {"key": "down"}, {"key": "left"},
                                    {"key": "right"}, {"key": "select", "label": "OK"}]},
        "mediaRemote": {
          "slots": {"home": {"key": "home", "label": "TV"},
                    "menu": {"key": "menu", "label": "Menu"},
                    "up": {"key": "up"}, "down": {"key": "down"},
                    "left": {"key": "left"}, "right": {"key": "right"},
                    "select": {"key": "select"},
                    "previous": {"key": "skip_backward", "label": "Back 10 s"},
                    "playPause": {"key": "play_pause"},
                    "next": {"key": "skip_forward", "label": "Forward 10 s"},
                    "volumeDown": {"key": "volume_down"}, "mute": {"key": "mute"},
                    "volumeUp": {"key": "volume_up"}},
          "advanced": [{"key": "screensaver", "label": "Screensaver"},
                       {"key": "control_center", "label": "Control Center"},
                       {"label": "Restart", "itemId": "atv/living-room/restart"}]}}
     ]},
    {"id": "kitchen", "name": "Kitchen",
     "sensors": {"temperatures": [22.5], "humidities": [48, 52]},
     "devices": [
       {"id": "light-kitchen", "name": "Kitchen Spots", "kind": "light",
        "power": {"isOn": false, "toggleItemId": "light-kitchen/toggle"},
        "brightness": {"value": 0, "min": 0, "max": 100, "command": "set_brightness"}},
       {"id": "switch-coffee", "name": "Coffee Maker", "kind": "switch",
        "power": {"isOn": false, "onItemId": "switch-coffee/on", "offItemId": "switch-coffee/off"}},
       {"id": "sensor-fridge", "name": "Fridge Sensor", "kind": "sensor",
        "sensor": {"temperature": 4.2, "humidity": 61},
        "state": {"temperature": 4.2}},
       {"id": "radio-kitchen", "name": "Kitchen Radio", "kind": "media",
        "power": {"isOn": true, "onItemId": "radio-kitchen/on", "offItemId": "radio-kitchen/off"},
        "state": {"power": true, "title": "Morning News", "playback": "playing"},
        "commands": {"media": [{"key": "play_pause", "label": "Play/Pause"},
                               {"key": "volume_up", "label": "Vol +"},
                               {"key": "volume_down", "label": "Vol -"}]}},
       {"id": "doorbell", "name": "Doorbell", "kind": "device",
        "items": [{"id": "doorbell/chime", "label": "Chime"}],
        "state": {"status": "Idle"}}
     ]},
    {"id": "bedroom", "name": "Bedroom",
     "sensors": {"temperatures": [19.5, 19.504], "humidities": []},
     "devices": [
       {"id": "climate-bedroom", "name": "Bedroom Heat Pump", "kind": "climate",
        "climate": {"currentTemperature": 19.5, "targetTemperature": 21, "mode": "heat",
                    "modes": ["off", "heat", "cool", "auto", "dry", "fan_only"],
                    "modeCommand": "set_hvac_mode", "targetCommand": "set_temperature"},
        "brightness": {"value": 40, "min": 0, "max": 100, "command": "set_fan_speed"},
        "power": {"isOn": true, "onItemId": "climate-bedroom/on",
                  "offItemId": "climate-bedroom/off"},
        "state": {"currentTemperature": 19.5, "status": "Heating"},
        "commands": {"other": [{"key": "eco_mode", "label": "Eco"},
                               {"key": "boost", "label": "Boost"}]},
        "_sim": {"unsupported": ["eco_mode"]}},
       {"id": "cover-bedroom", "name": "Bedroom Blinds", "kind": "cover",
        "brightness": {"value": 40, "min": 0, "max": 100, "command": "set_position"},
        "state": {"status": "Open 40%"},
        "commands": {"primary": [{"key": "open", "label": "Open"},
                                 {"key": "close", "label": "Close"},
                                 {"key": "stop", "label": "Stop"}]}},
       {"id": "light-bedside", "name": "Bedside Lamp", "kind": "light",
        "power": {"isOn": true, "onItemId": "light-bedside/on", "offItemId": "light-bedside/off"},
        "colorTemperature": {"command": "set_color_temp"}},
       {"id": "switch-blanket", "name": "Electric Blanket", "kind": "switch",
        "power": {"isOn": false, "onItemId": "switch-blanket/on",
                  "offItemId": "switch-blanket/off"}},
       {"id": "fan-ceiling", "name": "Ceiling Fan", "kind": "switch",
        "power": {"isOn": true},
        "state": {"status": "On"},
        "commands": {"primary": [{"key": "turn_on", "label": "On"},
                                 {"key": "turn_off", "label": "Off"}]}}
     ]},
    {"id": "hallway", "name": "Hallway",
     "sensors": {"temperatures": [20.2]},
     "devices": [
       {"id": "lock-front", "name": "Front Door", "kind": "lock",
        "state": {"status": "Locked"},
        "commands": {"primary": [{"key": "lock", "label": "Lock"},
                                 {"key": "unlock", "label": "Unlock"}]}},
       {"id": "sensor-hall", "name": "Hall Sensor", "kind": "sensor",
        "sensor": {"temperature": 20.2, "humidity": 45}},
       {"id": "hub-garage", "name": "Garage Hub", "kind": "device",
        "unavailableReason": "Offline since 07:40"},
       {"id": "radiator-hall", "name": "Hall Radiator", "kind": "climate",
        "climate": {"currentTemperature": 18, "targetTemperature": 19, "mode": "heat",
                    "modes": ["off", "heat"], "modeCommand": "set_mode",
                    "targetCommand": "set_target"},
        "brightness": {"value": 0, "command": ""},
        "state": {"currentTemperature": 18}},
       {"id": "sprinklers", "name": "Sprinkler Valves", "kind": "device",
        "commands": {"primary": [{"key": "zone_1", "label": "Lawn"},
                                 {"key": "zone_2", "label": "Beds"},
                                 {"key": "zone_3", "label": "Hedge"},
                                 {"key": "zone_4", "label": "Patio"},
                                 {"key": "zone_5", "label": "Orchard"},
                                 {"key": "zone_6", "label": "Drip"}],
                     "other": [{"key": "all_off", "label": "All Off"}]}},
       {"id": "intercom", "name": "Gate Intercom", "kind": "device",
        "items": [{"id": "intercom/open", "label": "Open Gate"}],
        "commands": {"primary": [{"key": "talk", "label": "Talk"}, "open_gate"]},
        "state": {"status": "Closed"}}
     ]},
    {"id": "office", "name": "Office", "devices": []}
  ],
  "scenes": [
    {"id": "legacy/evening", "programId": "prog-legacy-evening", "label": "Evening (legacy)",
     "programBuilderType": "Scene Builder", "scene": {"active": false}}
  ]
})json";

// Automations: where each one is listed, and how it behaves.
constexpr const char* kDemoPrograms = R"json([
  {"lists": ["avFlows", "programs"],
   "record": {"id": "av/movie-night", "programId": "prog-movie-night", "label": "Movie Night",
              "builderType": "AV-Flow", "icon": "av flow",
              "toggle": {"capable": true, "isOn": false}}},
  {"lists": ["avFlows", "programs"],
   "record": {"id": "av/music-everywhere", "programId": "prog-music-everywhere",
              "label": "Music Everywhere", "programBuilderType": "av_flow",
              "scene": {"active": true, "reversible": true}}},
  {"lists": ["avFlows"], "offFails": true,
   "record": {"id": "av/party", "programId": "prog-party", "name": "Party Mode",
              "builderType": "program_flow", "toggle": {"capable": "true", "isOn": "no"}}},
  {"lists": ["avFlows"],
   "record": {"id": "av/morning-news", "programId": "prog-morning-news", "label": "Morning News",
              "builderType": "avflow"}},
  {"lists": ["programScenes", "programs"], "builderLabel": "Scene Builder",
   "record": {"id": "scene/good-night", "programId": "prog-good-night", "label": "Good Night",
              "programBuilderType": "Scene Builder",
              "scene": {"active": false, "reversible": false}}},
  {"lists": ["programScenes"], "builderLabel": "Scene Builder",
   "record": {"id": "scene/welcome-home", "programId": "prog-welcome-home",
              "label": "Welcome Home", "programBuilderType": "scene",
              "scene": {"active": true}}},
  {"lists": ["programs"], "builderLabel": "Scene Builder",
   "record": {"id": "scene/reading", "programId": "prog-reading", "label": "Reading Light",
              "icon": "scene", "scene": {"active": false}}},
  {"lists": ["programs"], "unsupported": true, "builderLabel": "Script",
   "record": {"id": "script/sprinklers", "programId": "prog-sprinklers",
              "label": "Garden Sprinklers", "builderType": "script"}},
  {"lists": ["programs"], "selected": false, "builderLabel": "Scene Builder",
   "record": {"id": "scene/vacation", "programId": "prog-vacation", "label": "Vacation Lights",
              "programBuilderType": "scene", "scene": {"active": false}}},
  {"lists": ["programs"], "enabled": false, "selected": false, "builderLabel": "Script",
   "record": {"id": "script/broken", "programId": "prog-broken", "label": "Broken Script",
              "builderType": "script"}}
])json";

constexpr const char* kAppleTvApps = R"json([
  {"id": "com.apple.TVWatchList", "name": "TV"},
  {"id": "com.apple.TVMusic", "name": "Music",
   "iconUrl": "{origin}/media-services/app-icons/music.png"},
  {"id": "com.apple.TVSettings", "name": "Settings"},
  {"id": "com.apple.TVPhotos", "name": "Photos"},
  {"id": "com.apple.Arcade", "name": "Arcade"},
  {"id": "com.example.streamflix", "name": "Streamflix",
   "iconUrl": "{origin}/media-services/app-icons/streamflix.png"},
  {"id": "com.example.tubeview", "name": "TubeView",
   "iconUrl": "{origin}/media-services/app-icons/tubeview.png"},
  {"id": "com.example.newsnow", "name": "News Now", "iconUrl": "{inline-newsnow}"},
  {"id": "com.example.kids", "name": "Kids Corner", "iconUrl": "data:image/png,AAAA"},
  {"id": "com.example.podcastsplus", "name": "  Podcasts "},
  {"id": "com.example.weather", "name": "Weather",
   "iconUrl": "{origin}/media-services/app-icons/missing.png"},
  {"id": "com.example.streamflix", "name": "Streamflix (duplicate)"},
  {"id": "com.example.cinema", "name": "Cinema Club", "iconUrl": "{inline-cinema}"},
  {"id": "com.example.radio", "name": "Radio",
   "iconUrl": "{origin}/media-services/app-icons/garbled.png"},
  {"name": "Sideloaded", "iconUrl": "{origin}/media-services/app-icons/sideloaded.png"}
])json";

void parsePrograms(const json::array& wrappers, std::vector<ProgramEntry>& out) {
    for (const auto& value : wrappers) {
        const auto& wrapper = value.as_object();
        ProgramEntry entry;
        entry.record = wrapper.at("record").as_object();
        for (const auto& list : wrapper.at("lists").as_array()) {
            entry.lists.emplace_back(list.as_string());
        }
        if (const auto* enabled = wrapper.if_contains("enabled")) {
            entry.enabled = enabled->as_bool();
        }
        if (const auto* selected = wrapper.if_contains("selected")) {
            entry.selected = selected->as_bool();
        }
        if (const auto* label = wrapper.if_contains("builderLabel")) {
            entry.builderLabel = label->as_string();
        }
        if (const auto* offFails = wrapper.if_contains("offFails")) {
            entry.offFails = offFails->as_bool();
        }
        if (const auto* unsupported = wrapper.if_contains("unsupported")) {
            entry.unsupported = unsupported->as_bool();
        }
        out.push_back(std::move(entry));
    }
}

std::string inlineIcon(std::string_view key) {
    return "data:image/png;base64," + base64(artworkPng(key, 96, 60));
}

json::object lightDevice(const std::string& id, const std::string& name, int n) {
    json::object device{{"id", id}, {"name", name}, {"kind", "light"}};
    device["power"] = {{"isOn", n % 2 == 0}, {"onItemId", id + "/on"}, {"offItemId", id + "/off"}};
    device["brightness"] = {
        {"value", (n * 7) % 101}, {"min", 0}, {"max", 100}, {"command", "set_brightness"}};
    if (n % 3 == 0) {
        device["color"] = {{"command", "set_color"}, {"hue", (n * 37) % 360}, {"saturation", 70}};
        device["colorTemperature"] = {
            {"command", "set_color_temp"}, {"min", 153}, {"max", 500}, {"value", 300}};
    }
    return device;
}

}  // namespace

namespace {

/// The list `key` of `document`: absent is empty; anything but a list of objects is an error.
bool objectList(const json::object& document, const char* key, json::array& out,
                std::string& error) {
    const auto* value = document.if_contains(key);
    if (!value) {
        return true;
    }
    if (!value->is_array()) {
        error = std::string("\"") + key + "\" must be a list";
        return false;
    }
    for (const auto& element : value->get_array()) {
        if (!element.is_object()) {
            error = std::string("every element of \"") + key + "\" must be an object";
            return false;
        }
    }
    out = value->get_array();
    return true;
}

}  // namespace

std::optional<HomeCatalogue> homeFromJson(const json::value& value, std::string& error) {
    if (!value.is_object()) {
        error = "a home is a JSON object";
        return std::nullopt;
    }
    const auto& document = value.get_object();
    HomeCatalogue home;
    json::array programs;
    if (!objectList(document, "pinned", home.pinned, error) ||
        !objectList(document, "rooms", home.rooms, error) ||
        !objectList(document, "scenes", home.legacyScenes, error) ||
        !objectList(document, "programs", programs, error)) {
        return std::nullopt;
    }
    // The model walks devices as objects; members inside a device may be anything.
    for (const auto& room : home.rooms) {
        json::array devices;
        if (!objectList(room.get_object(), "devices", devices, error)) {
            return std::nullopt;
        }
    }
    for (const auto& wrapper : programs) {
        const auto& entry = wrapper.get_object();
        const auto* record = entry.if_contains("record");
        const auto* lists = entry.if_contains("lists");
        if (!record || !record->is_object() || !lists || !lists->is_array()) {
            error = "every program needs a \"record\" object and a \"lists\" list";
            return std::nullopt;
        }
        for (const auto& list : lists->get_array()) {
            if (!list.is_string()) {
                error = "program \"lists\" hold texts";
                return std::nullopt;
            }
        }
        for (const char* flag : {"enabled", "selected", "offFails", "unsupported"}) {
            if (const auto* v = entry.if_contains(flag); v && !v->is_bool()) {
                error = std::string("program \"") + flag + "\" must be true or false";
                return std::nullopt;
            }
        }
        if (const auto* label = entry.if_contains("builderLabel"); label && !label->is_string()) {
            error = "program \"builderLabel\" must be a text";
            return std::nullopt;
        }
    }
    parsePrograms(programs, home.programs);
    if (const auto* apps = document.if_contains("apps")) {
        if (!apps->is_object()) {
            error = "\"apps\" must map device ids to lists of apps";
            return std::nullopt;
        }
        for (const auto& [deviceId, list] : apps->get_object()) {
            json::object holder{{"apps", list}};
            json::array parsed;
            if (!objectList(holder, "apps", parsed, error)) {
                return std::nullopt;
            }
            home.apps[std::string(deviceId)] = std::move(parsed);
        }
    }
    return home;
}

std::optional<HomeCatalogue> loadHome(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    boost::system::error_code ec;
    json::parse_options limits;
    limits.max_depth = 64;
    const json::value value = json::parse(text.str(), ec, {}, limits);
    if (ec) {
        error = path + " is not JSON: " + ec.message();
        return std::nullopt;
    }
    auto home = homeFromJson(value, error);
    if (!home) {
        error = path + ": " + error;
    }
    return home;
}

HomeCatalogue demoHome() {
    HomeCatalogue home;
    auto document = json::parse(kDemoHome).as_object();
    home.pinned = document.at("pinned").as_array();
    home.rooms = document.at("rooms").as_array();
    home.legacyScenes = document.at("scenes").as_array();
    parsePrograms(json::parse(kDemoPrograms).as_array(), home.programs);

    auto apps = json::parse(kAppleTvApps).as_array();
    for (auto& app : apps) {
        auto& record = app.as_object();
        if (const auto* icon = record.if_contains("iconUrl")) {
            if (*icon == "{inline-newsnow}") {
                record["iconUrl"] = inlineIcon("newsnow");
            } else if (*icon == "{inline-cinema}") {
                record["iconUrl"] = inlineIcon("cinema");
            }
        }
    }
    home.apps["atv/living-room"] = std::move(apps);
    return home;
}

HomeCatalogue scaledHome(int rooms, int devicesPerRoom) {
    HomeCatalogue home = demoHome();
    home.rooms.clear();
    home.programs.resize(0);
    json::array apps = home.apps["atv/living-room"];
    home.apps.clear();
    for (int r = 0; r < rooms; ++r) {
        const std::string roomId = "room-" + std::to_string(r + 1);
        json::array devices;
        for (int d = 0; d < devicesPerRoom; ++d) {
            const int n = r * devicesPerRoom + d;
            const std::string id = roomId + "/device-" + std::to_string(d + 1);
            const std::string name =
                "Device " + std::to_string(r + 1) + "." + std::to_string(d + 1);
            switch (d % 6) {
                case 0:
                case 1:
                    devices.push_back(lightDevice(id, "Light " + name, n));
                    break;
                case 2:
                    devices.push_back(json::object{{"id", id},
                                                   {"name", "Plug " + name},
                                                   {"kind", "switch"},
                                                   {"power",
                                                    {{"isOn", n % 2 == 1},
                                                     {"onItemId", id + "/on"},
                                                     {"offItemId", id + "/off"}}}});
                    break;
                case 3:
                    devices.push_back(json::object{
                        {"id", id},
                        {"name", "Sensor " + name},
                        {"kind", "sensor"},
                        {"sensor",
                         {{"temperature", 18 + (n % 70) / 10.0}, {"humidity", 40 + n % 20}}}});
                    break;
                case 4:
                    devices.push_back(json::object{{"id", id},
                                                   {"name", "Climate " + name},
                                                   {"kind", "climate"},
                                                   {"climate",
                                                    {{"currentTemperature", 20.5},
                                                     {"targetTemperature", 21},
                                                     {"mode", "heat"},
                                                     {"modes", {"off", "heat", "cool", "auto"}},
                                                     {"modeCommand", "set_hvac_mode"},
                                                     {"targetCommand", "set_temperature"}}}});
                    break;
                default:
                    devices.push_back(json::object{
                        {"id", id},
                        {"name", "Blinds " + name},
                        {"kind", "cover"},
                        {"brightness",
                         {{"value", 50}, {"min", 0}, {"max", 100}, {"command", "set_position"}}},
                        {"commands",
                         {{"primary",
                           {{{"key", "open"}}, {{"key", "close"}}, {{"key", "stop"}}}}}}});
                    break;
            }
        }
        if (r == 0) {
            // Keep one Apple TV so the app grid has something to show at scale as well.
            devices.push_back(
                json::object{{"id", "atv/scaled"},
                             {"name", "AppleTV Scaled"},
                             {"kind", "media"},
                             {"capabilities", {{"apps", true}}},
                             {"power", {{"isOn", true}, {"toggleItemId", "atv/scaled/power"}}},
                             {"commands", {{"navigation", {{{"key", "select"}}}}}}});
        }
        home.rooms.push_back(json::object{
            {"id", roomId},
            {"name", "Room " + std::to_string(r + 1)},
            {"sensors", {{"temperatures", {20 + r % 5, 21.5}}, {"humidities", {40 + r % 10}}}},
            {"devices", std::move(devices)}});
        for (int s = 0; s < 2; ++s) {
            ProgramEntry scene;
            const std::string id = "scene/" + roomId + "-" + std::to_string(s + 1);
            scene.record = {
                {"id", id},
                {"programId", "prog-" + id},
                {"label", "Room " + std::to_string(r + 1) + " Scene " + std::to_string(s + 1)},
                {"programBuilderType", "scene"},
                {"scene", {{"active", false}}}};
            scene.lists = {"programScenes", "programs"};
            scene.builderLabel = "Scene Builder";
            home.programs.push_back(std::move(scene));
        }
        if (r % 5 == 0) {
            ProgramEntry flow;
            const std::string id = "av/" + roomId;
            flow.record = {{"id", id},
                           {"programId", "prog-" + id},
                           {"label", "Room " + std::to_string(r + 1) + " Flow"},
                           {"builderType", "av_flow"},
                           {"toggle", {{"capable", true}, {"isOn", false}}}};
            flow.lists = {"avFlows", "programs"};
            home.programs.push_back(std::move(flow));
        }
    }
    home.apps["atv/scaled"] = std::move(apps);
    return home;
}

}  // namespace hubsim

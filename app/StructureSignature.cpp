#include "app/StructureSignature.h"

#include "state/Automations.h"

namespace corvix {

namespace {

template <typename Each>
std::string joined(const ObjectList& items, const char* separator, Each each) {
    std::string text;
    bool first = true;
    for (const JsonObject* item : items) {
        if (!first) {
            text += separator;
        }
        first = false;
        text += each(*item);
    }
    return text;
}

}  // namespace

std::string menuStructureSignature(const JsonObject& state) {
    const std::string pinned = joined(array(state, "pinned"), ",", [](const JsonObject& item) {
        return member(item, "id") ? string(item, "id") : string(item, "label");
    });
    const std::string rooms = joined(array(state, "rooms"), "|", [](const JsonObject& room) {
        std::string text = member(room, "id") ? string(room, "id") : string(room, "name");
        text += "[";
        text += joined(array(room, "devices"), ",", [](const JsonObject& device) {
            return string(device, "id") + ":" + string(device, "name") + ":" +
                   string(device, "kind");
        });
        text += "]";
        return text;
    });
    auto ids = [](const JsonObject& item) { return string(item, "id"); };
    const std::string scenes = joined(macControlProgramScenes(state), ",", ids);
    const std::string avFlows = joined(macControlAvFlows(state), ",", ids);

    std::string music = "0:::";
    if (const JsonObject* player = objectMember(state, "musicPlayer")) {
        const JsonObject* active = objectMember(*player, "activePlayer");
        static const JsonObject none;
        const JsonObject& activePlayer = active ? *active : none;
        music = std::string(bool_(*player, "available", false) ? "1" : "0") + ":" +
                string(activePlayer, "id") + ":" + string(activePlayer, "targetId") + ":" +
                string(activePlayer, "targetType");
    }
    return pinned + "#" + rooms + "#" + scenes + "#" + avFlows + "#" + music;
}

}  // namespace corvix

#include "app/StructureSignature.h"

#include "state/Automations.h"

namespace corvix {

namespace {

// The signature is built in one text: on a big home it is some hundred kilobytes, and a
// temporary per member costs more than the comparison it serves.

void appendMember(std::string& out, const JsonObject& object, std::string_view key) {
    appendString(out, member(object, key));
}

/// `array`'s rule (a list only when every element is an object) without building the list.
template <typename Each>
void appendEachObject(std::string& out, const JsonObject& object, std::string_view key,
                      char separator, Each each) {
    const json::value* value = member(object, key);
    if (!value || !value->is_array()) {
        return;
    }
    const json::array& list = value->get_array();
    for (const json::value& element : list) {
        if (!element.is_object()) {
            return;
        }
    }
    bool first = true;
    for (const json::value& element : list) {
        if (!first) {
            out += separator;
        }
        first = false;
        each(element.get_object());
    }
}

void appendIds(std::string& out, const ObjectList& items) {
    bool first = true;
    for (const JsonObject* item : items) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendMember(out, *item, "id");
    }
}

}  // namespace

std::string menuStructureSignature(const JsonObject& state) {
    std::string out;
    out.reserve(4096);
    appendEachObject(out, state, "pinned", ',', [&](const JsonObject& item) {
        appendMember(out, item, member(item, "id") ? "id" : "label");
    });
    out += '#';
    appendEachObject(out, state, "rooms", '|', [&](const JsonObject& room) {
        appendMember(out, room, member(room, "id") ? "id" : "name");
        out += '[';
        appendEachObject(out, room, "devices", ',', [&](const JsonObject& device) {
            appendMember(out, device, "id");
            out += ':';
            appendMember(out, device, "name");
            out += ':';
            appendMember(out, device, "kind");
        });
        out += ']';
    });
    out += '#';
    appendIds(out, macControlProgramScenes(state));
    out += '#';
    appendIds(out, macControlAvFlows(state));
    out += '#';
    const JsonObject* player = objectMember(state, "musicPlayer");
    if (!player) {
        out += "0:::";
        return out;
    }
    out += bool_(*player, "available", false) ? '1' : '0';
    if (const JsonObject* active = objectMember(*player, "activePlayer")) {
        out += ':';
        appendMember(out, *active, "id");
        out += ':';
        appendMember(out, *active, "targetId");
        out += ':';
        appendMember(out, *active, "targetType");
    } else {
        out += ":::";
    }
    return out;
}

}  // namespace corvix

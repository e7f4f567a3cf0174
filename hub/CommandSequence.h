#pragma once

#include <optional>

#include "state/StateAccessors.h"

namespace corvix {

/// One control's commands, sent one at a time so the hub applies them in order: while one is
/// in flight only the newest value waits, and it goes out when the first ends.
struct CommandSequence {
    bool inFlight = false;
    /// The payload on its way, while `inFlight`.
    JsonObject sending;
    std::optional<JsonObject> waiting;

    /// The control's own value is the user's while this holds; the hub's may be behind.
    bool busy() const { return inFlight || waiting.has_value(); }

    /// True when `payload` is to be sent now (it is then the one on its way). Otherwise it
    /// waits in place of any older value, or is dropped when it is the value already on its
    /// way (a release where the drag ended).
    bool begin(const JsonObject& payload) {
        if (inFlight) {
            if (payload == sending) {
                waiting.reset();
            } else {
                waiting = payload;
            }
            return false;
        }
        inFlight = true;
        sending = payload;
        return true;
    }

    /// The one on its way has ended: the value to send next, if one waits.
    std::optional<JsonObject> finish() {
        inFlight = false;
        std::optional<JsonObject> next = std::move(waiting);
        waiting.reset();
        return next;
    }
};

}  // namespace corvix

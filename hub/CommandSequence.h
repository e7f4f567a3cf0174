#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"
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

/// Starts one request for `payload` and hands its answer to `done`; false when it cannot be
/// sent (its sender is gone, nothing to send it to), and `done` then never runs.
using SendCommand =
    std::function<bool(const JsonObject& payload, std::function<void(Result<void>)> done)>;

/// Sends `payload` through `sequence`: now, or after the one on its way (see `begin`). When a
/// request ends with a newer value waiting, that value goes out and the answer is dropped,
/// failure or not; `outcome` (when set) gets the answer of the last value sent, or the last
/// answer when the next value cannot be sent. True when `payload` went out now.
bool sendInOrder(const std::shared_ptr<CommandSequence>& sequence, const JsonObject& payload,
                 SendCommand send, std::function<void(Result<void>)> outcome);

/// The sequences of one owner's controls, one per name (an action, a command), each made when
/// first asked for.
class CommandSequences {
  public:
    const std::shared_ptr<CommandSequence>& of(std::string_view name);
    const std::map<std::string, std::shared_ptr<CommandSequence>, std::less<>>& all() const {
        return sequences_;
    }

  private:
    std::map<std::string, std::shared_ptr<CommandSequence>, std::less<>> sequences_;
};

}  // namespace corvix

#include "hub/CommandSequence.h"

#include <utility>

namespace corvix {

namespace {

/// Sends `payload`, which `sequence` holds as the one on its way.
bool sendHeld(const std::shared_ptr<CommandSequence>& sequence, const JsonObject& payload,
              const SendCommand& send, const std::function<void(Result<void>)>& outcome) {
    const bool sent = send(payload, [sequence, send, outcome](Result<void> result) {
        if (std::optional<JsonObject> next = sequence->finish()) {
            sequence->begin(*next);
            if (sendHeld(sequence, *next, send, outcome)) {
                return;  // a newer value supersedes this answer
            }
        }
        if (outcome) {
            outcome(std::move(result));
        }
    });
    if (!sent) {
        sequence->finish();  // nothing is on its way after all
    }
    return sent;
}

}  // namespace

bool sendInOrder(const std::shared_ptr<CommandSequence>& sequence, const JsonObject& payload,
                 SendCommand send, std::function<void(Result<void>)> outcome) {
    return sequence->begin(payload) && sendHeld(sequence, payload, send, outcome);
}

const std::shared_ptr<CommandSequence>& CommandSequences::of(std::string_view name) {
    auto at = sequences_.find(name);
    if (at == sequences_.end()) {
        at = sequences_.emplace(std::string(name), std::make_shared<CommandSequence>()).first;
    }
    return at->second;
}

}  // namespace corvix

#include "hub/OrderedSends.h"

#include <utility>

namespace corvix {

std::string musicSendTarget(const JsonObject& player) {
    return identifierText(player, "targetType") + '\x1f' + identifierText(player, "targetId");
}

OrderedSends::OrderedSends() : lines_(std::make_shared<Lines>()) {}

OrderedSends::~OrderedSends() = default;

bool OrderedSends::send(const SendKey& key, OrderedSend value) {
    if (auto at = lines_->find(key); at != lines_->end()) {
        Line& line = at->second;
        if (!value.repeats && value.operation == line.sending.operation &&
            value.payload == line.sending.payload) {
            line.waiting.reset();
        } else {
            line.waiting = std::move(value);
        }
        return false;
    }
    return start(lines_, key, std::move(value));
}

bool OrderedSends::busy(const SendKey& key) const {
    return lines_->contains(key);
}

const OrderedSend* OrderedSends::newest(const SendKey& key) const {
    const auto at = lines_->find(key);
    if (at == lines_->end()) {
        return nullptr;
    }
    return at->second.waiting ? &*at->second.waiting : &at->second.sending;
}

bool OrderedSends::start(const std::shared_ptr<Lines>& lines, const SendKey& key,
                         OrderedSend value) {
    // The request may be answered before `start` returns; the line must not own the function
    // that is running then.
    const auto begin = value.start;
    lines->insert_or_assign(key, Line{std::move(value), std::nullopt});
    const bool sent =
        begin && begin([weak = std::weak_ptr<Lines>(lines), key](Result<void> result) {
            answered(weak, key, std::move(result));
        });
    if (!sent) {
        lines->erase(key);  // nothing is on its way after all
    }
    return sent;
}

void OrderedSends::answered(const std::weak_ptr<Lines>& weak, const SendKey& key,
                            Result<void> result) {
    const std::shared_ptr<Lines> lines = weak.lock();
    if (!lines) {
        return;
    }
    const auto at = lines->find(key);
    if (at == lines->end()) {
        return;
    }
    OrderedSend finished = std::move(at->second.sending);
    std::optional<OrderedSend> next = std::move(at->second.waiting);
    lines->erase(at);
    if (next && start(lines, key, std::move(*next))) {
        return;  // a newer value supersedes this answer
    }
    // The last value sent, or the newer one could not go: this answer is the outcome.
    if (finished.outcome) {
        finished.outcome(std::move(result));
    }
}

}  // namespace corvix

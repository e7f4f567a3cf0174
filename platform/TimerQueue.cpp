#include "platform/TimerQueue.h"

namespace corvix {

void TimerQueue::arm(std::shared_ptr<detail::TimerState> state, Duration due) {
    entries_.push(Entry{due, nextSequence_++, std::move(state)});
}

void TimerQueue::dropCancelled() {
    while (!entries_.empty() && entries_.top().state->cancelled) {
        entries_.pop();
    }
}

bool TimerQueue::nextDue(Duration& due) {
    dropCancelled();
    if (entries_.empty()) {
        return false;
    }
    due = entries_.top().due;
    return true;
}

bool TimerQueue::empty() {
    dropCancelled();
    return entries_.empty();
}

bool TimerQueue::fireOne(Duration now) {
    dropCancelled();
    if (entries_.empty() || entries_.top().due > now) {
        return false;
    }
    Entry entry = entries_.top();
    entries_.pop();
    auto& state = *entry.state;
    if (state.interval > Duration::zero()) {
        // Re-arm before running, so the action may cancel its own timer.
        arm(entry.state, entry.due + state.interval);
        auto action = state.action;  // the action may cancel the timer and drop its closure
        if (action) {
            action();
        }
    } else {
        auto action = std::move(state.action);
        state.cancelled = true;
        if (action) {
            action();
        }
    }
    return true;
}

}  // namespace corvix

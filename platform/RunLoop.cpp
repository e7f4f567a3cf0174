#include "platform/RunLoop.h"

namespace corvix {

Timer RunLoop::after(Duration delay, std::function<void()> action) {
    auto state = std::make_shared<detail::TimerState>();
    state->action = std::move(action);
    schedule(state, delay < Duration::zero() ? Duration::zero() : delay);
    return Timer(state);
}

Timer RunLoop::every(Duration interval, std::function<void()> action) {
    auto state = std::make_shared<detail::TimerState>();
    state->action = std::move(action);
    // A zero interval would spin; one millisecond is the shortest repeat we allow.
    state->interval =
        interval < std::chrono::milliseconds(1) ? std::chrono::milliseconds(1) : interval;
    schedule(state, state->interval);
    return Timer(state);
}

}  // namespace corvix

#include "platform/testing/VirtualRunLoop.h"

#include <chrono>

namespace corvix {

VirtualRunLoop::VirtualRunLoop() : owner_(std::this_thread::get_id()) {}

void VirtualRunLoop::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
}

double VirtualRunLoop::wallClockMs() const {
    return wallStartMs_ + std::chrono::duration<double, std::milli>(now_).count();
}

void VirtualRunLoop::schedule(std::shared_ptr<detail::TimerState> state, Duration delay) {
    timers_.arm(std::move(state), now_ + delay);
}

bool VirtualRunLoop::runPosted() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(posted_);
    }
    for (auto& work : batch) {
        work();
    }
    return !batch.empty();
}

void VirtualRunLoop::runUntilIdle() {
    while (true) {
        bool didWork = runPosted();
        while (timers_.fireOne(now_)) {
            didWork = true;
        }
        if (!didWork) {
            return;
        }
    }
}

void VirtualRunLoop::advance(Duration by) {
    const Duration target = now_ + by;
    runUntilIdle();
    Duration due;
    while (timers_.nextDue(due) && due <= target) {
        if (due > now_) {
            now_ = due;
        }
        runUntilIdle();
    }
    now_ = target;
    runUntilIdle();
}

}  // namespace corvix

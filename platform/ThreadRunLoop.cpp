#include "platform/ThreadRunLoop.h"

#include <chrono>

namespace corvix {

ThreadRunLoop::ThreadRunLoop() : owner_(std::this_thread::get_id()) {}

void ThreadRunLoop::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }
    wake_.notify_one();
}

Duration ThreadRunLoop::now() const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

double ThreadRunLoop::wallClockMs() const {
    using namespace std::chrono;
    return static_cast<double>(
               duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) /
           1000.0;
}

bool ThreadRunLoop::isMainThread() const {
    return std::this_thread::get_id() == owner_;
}

void ThreadRunLoop::schedule(std::shared_ptr<detail::TimerState> state, Duration delay) {
    timers_.arm(std::move(state), now() + delay);
}

bool ThreadRunLoop::runOnce(Duration deadline) {
    // Timers first, then whatever was posted; sleep until the next due time otherwise.
    bool didWork = false;
    while (timers_.fireOne(now())) {
        didWork = true;
    }
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock lock(mutex_);
        if (posted_.empty() && !quit_) {
            Duration due;
            Duration wakeAt = timers_.nextDue(due) ? std::min(due, deadline) : deadline;
            auto wait = wakeAt - now();
            if (wait > Duration::zero()) {
                wake_.wait_for(lock, wait, [&] { return !posted_.empty() || quit_; });
            }
        }
        batch.swap(posted_);
    }
    for (auto& work : batch) {
        work();
        didWork = true;
    }
    return didWork;
}

void ThreadRunLoop::run() {
    owner_ = std::this_thread::get_id();
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (quit_) {
                quit_ = false;
                return;
            }
        }
        runOnce(now() + std::chrono::seconds(1));
    }
}

bool ThreadRunLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    owner_ = std::this_thread::get_id();
    const Duration deadline = now() + timeout;
    while (!done()) {
        if (now() >= deadline) {
            return false;
        }
        runOnce(std::min(deadline, now() + std::chrono::milliseconds(50)));
    }
    return true;
}

void ThreadRunLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
}

}  // namespace corvix

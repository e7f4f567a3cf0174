#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace corvix {

/// Monotonic time, measured from an arbitrary start.
using Duration = std::chrono::nanoseconds;

namespace detail {
struct TimerState {
    std::function<void()> action;
    Duration interval{0};  // zero for a one-shot timer
    bool cancelled = false;
};
}  // namespace detail

/// A scheduled timer. Cancelling drops its closure at once; a handle that is simply destroyed
/// leaves the timer running. Used on the main thread only.
class Timer {
  public:
    Timer() = default;
    explicit Timer(std::shared_ptr<detail::TimerState> state) : state_(std::move(state)) {}

    void cancel() {
        if (state_) {
            state_->cancelled = true;
            state_->action = nullptr;
        }
    }
    /// True while the timer may still fire.
    bool isActive() const { return state_ && !state_->cancelled; }

  private:
    std::shared_ptr<detail::TimerState> state_;
};

/// The main thread's run loop: work posted from any thread, timers, and the clocks.
class RunLoop {
  public:
    virtual ~RunLoop() = default;

    /// Runs `work` on the main thread after everything already posted. Safe from any thread.
    virtual void post(std::function<void()> work) = 0;
    /// Runs `action` once, `delay` from now, on the main thread.
    Timer after(Duration delay, std::function<void()> action);
    /// Runs `action` every `interval`, the first time one interval from now.
    Timer every(Duration interval, std::function<void()> action);
    /// Monotonic now.
    virtual Duration now() const = 0;
    /// Wall-clock time in milliseconds since 1970-01-01 UTC.
    virtual double wallClockMs() const = 0;
    /// True on the thread that runs this loop.
    virtual bool isMainThread() const = 0;

  protected:
    /// Arms `state` to fire `delay` from now; repeating timers re-arm themselves after each run.
    virtual void schedule(std::shared_ptr<detail::TimerState> state, Duration delay) = 0;
};

}  // namespace corvix

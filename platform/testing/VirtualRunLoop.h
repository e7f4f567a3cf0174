#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/RunLoop.h"
#include "platform/TimerQueue.h"

namespace corvix {

/// A run loop on a virtual clock: nothing happens until the test runs posted work or advances
/// time, and then everything due runs in order.
class VirtualRunLoop final : public RunLoop {
  public:
    VirtualRunLoop();

    void post(std::function<void()> work) override;
    Duration now() const override { return now_; }
    double wallClockMs() const override;
    bool isMainThread() const override { return std::this_thread::get_id() == owner_; }

    /// Runs posted work (and work it posts) and timers due now, until nothing is left.
    void runUntilIdle();
    /// Moves the clock forward, running each timer at its own due time on the way.
    void advance(Duration by);
    /// The wall clock starts at this many milliseconds since 1970 and moves with `advance`.
    void setWallClockStartMs(double ms) { wallStartMs_ = ms; }
    /// Whether any timer is armed.
    bool hasTimers() { return !timers_.empty(); }

  protected:
    void schedule(std::shared_ptr<detail::TimerState> state, Duration delay) override;

  private:
    bool runPosted();

    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
    TimerQueue timers_;
    Duration now_{0};
    double wallStartMs_ = 1.7e12;
    std::thread::id owner_;
};

}  // namespace corvix

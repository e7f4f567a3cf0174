#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/RunLoop.h"
#include "platform/TimerQueue.h"

namespace corvix {

/// A real run loop on the thread that calls `run`: real clocks, a condition variable to sleep
/// on. For tools and the integration tests; the program uses the Qt loop.
class ThreadRunLoop final : public RunLoop {
  public:
    ThreadRunLoop();

    void post(std::function<void()> work) override;
    Duration now() const override;
    double wallClockMs() const override;
    bool isMainThread() const override;

    /// Runs posted work and timers until `quit`.
    void run();
    /// Runs until `done` returns true or `timeout` passes; returns whether `done` held.
    bool runUntil(const std::function<bool()>& done, Duration timeout);
    /// Ends `run` (any thread).
    void quit();

  protected:
    void schedule(std::shared_ptr<detail::TimerState> state, Duration delay) override;

  private:
    bool runOnce(Duration deadline);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> posted_;
    TimerQueue timers_;
    std::thread::id owner_;
    bool quit_ = false;
};

}  // namespace corvix

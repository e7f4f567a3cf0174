#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <thread>

#include "platform/RunLoop.h"
#include "platform/TimerQueue.h"

namespace corvix {

/// The run loop of a QApplication: posted work goes through Qt's queued calls (safe from any
/// thread), and one single-shot QTimer wakes the loop for the earliest due timer. Create it on
/// the main thread after the QApplication.
class QtRunLoop final : public QObject, public RunLoop {
  public:
    QtRunLoop();

    void post(std::function<void()> work) override;
    Duration now() const override;
    double wallClockMs() const override;
    bool isMainThread() const override { return std::this_thread::get_id() == owner_; }

  protected:
    void schedule(std::shared_ptr<detail::TimerState> state, Duration delay) override;

  private:
    void fireDue();
    void rearm();

    TimerQueue timers_;
    QTimer wake_;
    std::chrono::steady_clock::time_point start_;
    std::thread::id owner_;
};

}  // namespace corvix

#include "platform/qt/QtRunLoop.h"

#include <QMetaObject>

namespace corvix {

QtRunLoop::QtRunLoop()
    : start_(std::chrono::steady_clock::now()), owner_(std::this_thread::get_id()) {
    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake_, &QTimer::timeout, this, [this] { fireDue(); });
}

void QtRunLoop::post(std::function<void()> work) {
    QMetaObject::invokeMethod(
        this, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

Duration QtRunLoop::now() const {
    return std::chrono::steady_clock::now() - start_;
}

double QtRunLoop::wallClockMs() const {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void QtRunLoop::schedule(std::shared_ptr<detail::TimerState> state, Duration delay) {
    timers_.arm(std::move(state), now() + delay);
    rearm();
}

void QtRunLoop::fireDue() {
    while (timers_.fireOne(now())) {
    }
    rearm();
}

void QtRunLoop::rearm() {
    Duration due;
    if (!timers_.nextDue(due)) {
        wake_.stop();
        return;
    }
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now());
    wake_.start(static_cast<int>(std::max<std::int64_t>(0, wait.count())));
}

}  // namespace corvix

#include "platform/qt/QtApplication.h"

#include "platform/qt/QtAccessibility.h"
#include "platform/qt/QtWakeWatcher.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>

namespace corvix {

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

QtApplication::QtApplication() {
    installModelAccessibility();
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
            ::sigaction(signal, &action, nullptr);
        }
        signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            terminate();
        });
    }
    wakeWatcher_ = std::make_unique<QtWakeWatcher>([this] {
        if (auto d = delegate(); d && !terminating_) {
            d->applicationDidWake();
        }
    });
}

QtApplication::~QtApplication() {
    wakeWatcher_.reset();
    signalNotifier_.reset();
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::signal(signal, SIG_DFL);
    }
}

void QtApplication::setActivationPolicy(ActivationPolicy policy) {
    // A status-area program keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(policy == ActivationPolicy::Regular);
}

void QtApplication::activate(bool) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !(widget->windowFlags() & Qt::Popup)) {
            widget->raise();
            widget->activateWindow();
        }
    }
}

void QtApplication::terminate() {
    if (terminating_) {
        return;
    }
    terminating_ = true;
    if (auto d = delegate()) {
        d->applicationWillTerminate();
    }
    QCoreApplication::quit();
}

}  // namespace corvix

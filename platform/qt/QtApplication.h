#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/ui/Application.h"

namespace corvix {

class QtWakeWatcher;

/// The QApplication as the program's application object. SIGTERM, SIGINT and SIGHUP end the
/// program through `terminate`, so the delegate's shutdown runs whoever asked for the end. The
/// delegate hears `applicationDidWake` after a resume from suspend or when the network is back.
class QtApplication final : public QObject, public Application {
  public:
    QtApplication();
    ~QtApplication() override;

    void setActivationPolicy(ActivationPolicy policy) override;
    void activate(bool ignoringOtherApps) override;
    void terminate() override;

  private:
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    std::unique_ptr<QtWakeWatcher> wakeWatcher_;
    bool terminating_ = false;
};

}  // namespace corvix

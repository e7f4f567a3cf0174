#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/ui/Application.h"

namespace corvix {

/// The QApplication as the program's application object. SIGTERM, SIGINT and SIGHUP end the
/// program through `terminate`, so the delegate's shutdown runs whoever asked for the end.
class QtApplication final : public QObject, public Application {
  public:
    QtApplication();
    ~QtApplication() override;

    void setActivationPolicy(ActivationPolicy policy) override;
    void activate(bool ignoringOtherApps) override;
    void terminate() override;

  private:
    std::unique_ptr<QSocketNotifier> signalNotifier_;
    bool terminating_ = false;
};

}  // namespace corvix

#pragma once

#include "platform/ui/Alert.h"

namespace corvix {

/// Alerts as modal QMessageBoxes (warning icon, the alert's buttons), started from the event
/// loop so `present` returns at once.
class QtAlertPresenter final : public AlertPresenter {
  public:
    void present(const Alert& alert) override;
};

}  // namespace corvix

#pragma once

#include <vector>

#include "platform/ui/Alert.h"

namespace corvix {

/// Keeps every alert it was asked to show.
class RecordingAlertPresenter final : public AlertPresenter {
  public:
    void present(const Alert& alert) override { shown.push_back(alert); }
    std::vector<Alert> shown;
};

}  // namespace corvix

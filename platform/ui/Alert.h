#pragma once

#include <string>
#include <vector>

namespace corvix {

enum class AlertStyle { Informational, Warning, Critical };

/// A modal alert: a title ("message text"), a detail ("informative text") and its buttons.
struct Alert {
    std::string messageText;
    std::string informativeText;
    AlertStyle style = AlertStyle::Warning;
    std::vector<std::string> buttons{"OK"};

    bool operator==(const Alert&) const = default;
};

/// Shows alerts. Called on the main thread; `present` returns at once and the alert runs modally
/// on its own (the backend starts it from the run loop).
class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    virtual void present(const Alert& alert) = 0;
};

}  // namespace corvix

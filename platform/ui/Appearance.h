#pragma once

#include <functional>

#include "platform/Observers.h"
#include "platform/ui/Color.h"

namespace corvix {

/// Whether the desktop is light or dark, and the notification when that changes; provided by
/// the backend. Implementations keep `Color::currentScheme` in step before notifying.
class AppearanceService {
  public:
    virtual ~AppearanceService() = default;
    virtual ColorScheme scheme() const = 0;
    bool isDark() const { return scheme() == ColorScheme::Dark; }
    /// Runs after the scheme changed.
    Subscription onChange(std::function<void()> callback) {
        return changed_.add(std::move(callback));
    }

  protected:
    void notifyChanged() { changed_.notify(); }

  private:
    ObserverList<> changed_;
};

}  // namespace corvix

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Observers.h"
#include "platform/ui/Geometry.h"

namespace corvix {

/// A display, in screen coordinates (y up from the bottom of the primary screen).
struct Screen {
    std::string name;
    Rect frame;
    Rect visibleFrame;
    /// Top inset of the area clear of a camera housing (0 without one).
    double safeAreaTopInset = 0;
    /// The areas left and right of a camera housing at the top edge, when the screen has one.
    std::optional<Rect> auxiliaryTopLeftArea;
    std::optional<Rect> auxiliaryTopRightArea;
    double backingScaleFactor = 1;
    bool operator==(const Screen&) const = default;
};

/// The screens and the pointer; provided by the backend.
class ScreenService {
  public:
    virtual ~ScreenService() = default;
    /// All screens, the main (primary) one first.
    virtual std::vector<Screen> screens() const = 0;
    std::optional<Screen> mainScreen() const {
        auto all = screens();
        if (all.empty()) {
            return std::nullopt;
        }
        return all.front();
    }
    /// The pointer's position in screen coordinates.
    virtual Point mouseLocation() const = 0;
    /// Runs after screens were added, removed or changed.
    Subscription onScreensChanged(std::function<void()> callback) {
        return changed_.add(std::move(callback));
    }

  protected:
    void notifyScreensChanged() { changed_.notify(); }

  private:
    ObserverList<> changed_;
};

}  // namespace corvix

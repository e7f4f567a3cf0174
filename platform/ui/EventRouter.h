#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Event.h"
#include "platform/ui/View.h"

namespace corvix {

class Window;

/// Delivers raw pointer and key events to a view tree: hit-tests presses (the view that took
/// the press gets the drags and the release), keeps tracking areas' enter/exit/move, honours
/// accept-first-mouse in a window that is not key, and sends keys to the first responder.
/// Event locations are in the root's superview coordinates (the host's: y up).
class EventRouter {
  public:
    explicit EventRouter(Window* window = nullptr) : window_(window) {}

    void setRoot(std::shared_ptr<View> root);
    const std::shared_ptr<View>& root() const { return root_; }
    void setWindow(Window* window) { window_ = window; }

    /// Handles one event; returns whether a view took it. A key or wheel event that went up
    /// the whole view chain unhandled counts as not taken, so the host may use it.
    bool dispatch(const Event& event);
    /// The end of the responder chain: a view without a superview passes the key and wheel
    /// events nobody took here.
    static void noResponderFor(const Event& event);
    /// The pointer left the host: every area it was in reports an exit.
    void pointerLeft(Duration timestamp = Duration{0});
    /// Re-evaluates enter/exit at the last pointer position (after layout or scrolling).
    void refreshTracking();
    /// The view holding the current press, if any.
    View* pressedView() const { return pressed_.lock().get(); }

  private:
    void track(const Event& event);

    Window* window_;
    std::shared_ptr<View> root_;
    std::weak_ptr<View> pressed_;
    std::vector<std::weak_ptr<TrackingArea>> inside_;
    bool pointerKnown_ = false;
    Point lastPointer_;
    Duration lastTimestamp_{0};
};

}  // namespace corvix

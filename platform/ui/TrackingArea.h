#pragma once

#include "platform/ui/Geometry.h"

namespace corvix {

class View;

enum TrackingOptions : unsigned {
    TrackingMouseEnteredAndExited = 1u << 0,
    TrackingMouseMoved = 1u << 1,
    TrackingActiveAlways = 1u << 2,
    TrackingActiveInKeyWindow = 1u << 3,
    /// The area follows the owner's visible rect instead of `rect`.
    TrackingInVisibleRect = 1u << 4,
};

/// A pointer-tracking region of a view: the view is told when the pointer enters, leaves or
/// moves in it. Added to a view with `View::addTrackingArea`.
class TrackingArea {
  public:
    TrackingArea(Rect rect, unsigned options) : rect_(rect), options_(options) {}

    Rect rect() const { return rect_; }
    unsigned options() const { return options_; }
    View* owner() const { return owner_; }

  private:
    friend class View;
    Rect rect_;
    unsigned options_;
    View* owner_ = nullptr;
};

}  // namespace corvix

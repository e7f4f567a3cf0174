#pragma once

#include <memory>
#include <string>

#include "platform/RunLoop.h"
#include "platform/ui/Geometry.h"

namespace corvix {

class TrackingArea;

enum class EventType {
    MouseDown,
    MouseDragged,
    MouseUp,
    MouseMoved,
    MouseEntered,
    MouseExited,
    RightMouseDown,
    ScrollWheel,
    KeyDown,
    KeyUp,
};

enum ModifierFlags : unsigned {
    ModifierNone = 0,
    ModifierShift = 1u << 0,
    ModifierControl = 1u << 1,
    ModifierOption = 1u << 2,
    ModifierCommand = 1u << 3,
};

/// Key codes of the keys the program handles by code rather than by text.
enum class KeyCode {
    Other,
    LeftArrow,
    RightArrow,
    UpArrow,
    DownArrow,
    Home,
    End,
    Return,
    Enter,
    Escape,
    Space,
    Tab,
};

/// A pointer or key event. `locationInWindow` is in the coordinates of the window (or of the
/// host a view tree is shown in): y up, origin at the bottom left.
struct Event {
    EventType type = EventType::MouseMoved;
    Point locationInWindow;
    unsigned modifiers = ModifierNone;
    int clickCount = 1;
    KeyCode keyCode = KeyCode::Other;
    std::string characters;  // text of a key event, ignoring modifiers
    double scrollDeltaX = 0;
    double scrollDeltaY = 0;
    Duration timestamp{0};
    /// The area that reports a MouseEntered, MouseExited or MouseMoved.
    std::shared_ptr<TrackingArea> trackingArea;
};

}  // namespace corvix

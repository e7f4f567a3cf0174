#include "platform/ui/Control.h"

namespace corvix {

void Control::setEnabled(bool enabled) {
    if (enabled_ == enabled) {
        return;
    }
    enabled_ = enabled;
    setNeedsDisplay();
}

bool Control::sendAction() {
    auto target = target_.lock();
    if (!target) {
        return false;
    }
    // Keep the control alive: the action may rebuild the tree that holds it.
    auto keep = shared_from_this();
    target->invoke(*this);
    return true;
}

void Control::setControlSize(ControlSize size) {
    controlSize_ = size;
    setNeedsDisplay();
}

void Control::setFont(Font font) {
    font_ = font;
    setNeedsDisplay();
}

}  // namespace corvix

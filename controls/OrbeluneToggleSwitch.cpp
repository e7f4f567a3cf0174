#include "controls/OrbeluneToggleSwitch.h"

#include "platform/ui/GraphicsContext.h"

namespace corvix {

OrbeluneToggleSwitch::OrbeluneToggleSwitch(Rect frame) : Control(frame) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::CheckBox);
    setAccessibilityValue(0.0);
}

void OrbeluneToggleSwitch::setOn(bool on) {
    isOn_ = on;
    setAccessibilityValue(on ? 1.0 : 0.0);
    setNeedsDisplay();
}

void OrbeluneToggleSwitch::mouseDown(const Event&) {
    if (!isEnabled()) {
        return;
    }
    setOn(!isOn_);
    sendAction();
}

bool OrbeluneToggleSwitch::acceptsFirstMouse(const Event&) const {
    return true;
}

bool OrbeluneToggleSwitch::accessibilityPerformPress() {
    if (!isEnabled()) {
        return false;
    }
    setOn(!isOn_);
    sendAction();
    return true;
}

void OrbeluneToggleSwitch::draw(GraphicsContext& ctx, const Rect&) {
    Rect track = bounds().insetBy(1, 1);
    double radius = track.height() / 2;
    Color fill =
        isOn_ ? Color::system(SystemColor::Green)
              : Color::system(SystemColor::Control).withAlphaComponent(isEnabled() ? 1.0 : 0.55);
    ctx.fillRoundedRect(track, radius, fill);
    if (!isOn_) {
        ctx.strokeRoundedRect(track, radius,
                              Color::system(SystemColor::Separator).withAlphaComponent(0.25), 0.5);
    }
    double d = track.height() - 4;
    double x = isOn_ ? track.maxX() - d - 2 : track.minX() + 2;
    Rect knob(x, track.minY() + 2, d, d);
    ctx.fillEllipse(
        knob,
        Color::system(SystemColor::ControlBackground).withAlphaComponent(isEnabled() ? 1.0 : 0.75));
    ctx.strokeEllipse(knob, Color::black().withAlphaComponent(0.12), 0.5);
}

}  // namespace corvix

#include "platform/ui/Stepper.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

Stepper::Stepper(Rect frame) : Control(frame) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::Stepper);
}

void Stepper::setDoubleValue(double value) {
    value_ = std::clamp(value, min_, std::max(min_, max_));
    setNeedsDisplay();
}

void Stepper::stepBy(int direction) {
    double next = value_ + direction * increment_;
    if (wraps_) {
        if (next > max_) {
            next = min_;
        } else if (next < min_) {
            next = max_;
        }
    }
    setDoubleValue(next);
    sendAction();
}

void Stepper::mouseDown(const Event& event) {
    if (!isEnabled()) {
        return;
    }
    setTracking(true);
    Point p = convertFromView(event.locationInWindow, nullptr);
    bool upper = isFlipped() ? p.y < bounds().midY() : p.y >= bounds().midY();
    pressed_ = upper ? 1 : -1;
    stepBy(pressed_);
}

void Stepper::mouseUp(const Event&) {
    setTracking(false);
    pressed_ = 0;
    setNeedsDisplay();
}

bool Stepper::accessibilityPerformIncrement() {
    if (!isEnabled()) {
        return false;
    }
    auto keep = weak_from_this().lock();  // the action may drop the stepper from its tree
    stepBy(1);
    postAccessibilityNotification(AccessibilityNotification::ValueChanged);
    return true;
}

bool Stepper::accessibilityPerformDecrement() {
    if (!isEnabled()) {
        return false;
    }
    auto keep = weak_from_this().lock();
    stepBy(-1);
    postAccessibilityNotification(AccessibilityNotification::ValueChanged);
    return true;
}

bool Stepper::accessibilityPerformSetValue(double value) {
    if (!isEnabled() || !std::isfinite(value)) {
        return false;
    }
    auto keep = weak_from_this().lock();
    setDoubleValue(value);
    sendAction();
    postAccessibilityNotification(AccessibilityNotification::ValueChanged);
    return true;
}

void Stepper::draw(GraphicsContext& ctx, const Rect&) {
    Rect b = bounds().insetBy(std::max(0.0, (bounds().width() - 15) / 2), 1);
    double alpha = isEnabled() ? 1.0 : 0.45;
    ctx.fillRoundedRect(b, 5, Color::system(SystemColor::Control).withAlphaComponent(alpha));
    ctx.strokeRoundedRect(b, 5, Color::system(SystemColor::Separator), 0.5);
    Rect upper(b.minX(), b.midY(), b.width(), b.height() / 2);
    Rect lower(b.minX(), b.minY(), b.width(), b.height() / 2);
    if (pressed_ != 0) {
        ctx.fillRect(pressed_ > 0 ? upper : lower,
                     Color::system(SystemColor::Label).withAlphaComponent(0.12));
    }
    Color arrow = Color::system(SystemColor::ControlText).withAlphaComponent(0.85 * alpha);
    auto chevron = [&](const Rect& r, bool up) {
        Path p;
        double cx = r.midX(), cy = r.midY(), w = 3, h = 1.8;
        p.moveTo({cx - w, up ? cy - h : cy + h});
        p.lineTo({cx, up ? cy + h : cy - h});
        p.lineTo({cx + w, up ? cy - h : cy + h});
        ctx.stroke(p, arrow, 1.3);
    };
    chevron(upper, true);
    chevron(lower, false);
}

}  // namespace corvix

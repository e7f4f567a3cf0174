#include "platform/ui/ColorWell.h"

#include "platform/PlatformServices.h"
#include "platform/ui/GraphicsContext.h"

namespace corvix {

ColorWell::ColorWell(Rect frame) : Control(frame) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::ColorWell);
}

void ColorWell::setColor(const Color& color) {
    color_ = color;
    setNeedsDisplay();
}

void ColorWell::activate() {
    active_ = true;
    setNeedsDisplay();
    if (ColorPanel* panel = platformServices().colorPanel) {
        std::weak_ptr<View> weak = weak_from_this();
        panel->show(color_, [weak](const Color& c) {
            if (auto self = std::static_pointer_cast<ColorWell>(weak.lock())) {
                self->setColor(c);
                self->sendAction();
            }
        });
    }
}

void ColorWell::deactivate() {
    active_ = false;
    setNeedsDisplay();
}

void ColorWell::mouseDown(const Event&) {
    if (isEnabled()) {
        setTracking(true);
    }
}

void ColorWell::mouseUp(const Event& event) {
    if (!isTracking()) {
        return;
    }
    setTracking(false);
    if (bounds().contains(convertFromView(event.locationInWindow, nullptr))) {
        activate();
    }
}

bool ColorWell::accessibilityPerformPress() {
    activate();
    return true;
}

void ColorWell::draw(GraphicsContext& ctx, const Rect&) {
    Rect b = bounds().insetBy(1, 1);
    ctx.fillRoundedRect(b, 5, Color::system(SystemColor::Control));
    ctx.strokeRoundedRect(
        b, 5,
        active_ ? Color::system(SystemColor::ControlAccent) : Color::system(SystemColor::Separator),
        active_ ? 2 : 0.5);
    ctx.fillRoundedRect(b.insetBy(4, 4), 3, color_);
}

}  // namespace corvix

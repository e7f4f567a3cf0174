#include "notch/ModernProgressView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Transaction.h"

namespace corvix {

namespace {
constexpr double kKnobFade = 0.15;
// The pointer region reaches this far above and below the thin bar.
constexpr double kHoverSlop = 8;

double clamped01(double value) {
    if (!std::isfinite(value)) {
        return 0;
    }
    return std::clamp(value, 0.0, 1.0);
}
}  // namespace

ModernProgressView::ModernProgressView(Rect frame) : View(frame) {
    setWantsLayer(true);
    trackLayer_->setBackgroundColor(Color::calibratedWhite(0.5, 0.22));
    trackLayer_->setCornerRadius(2);
    fillLayer_->setBackgroundColor(accentColor_);
    fillLayer_->setCornerRadius(2);
    knobLayer_->setBackgroundColor(Color::white());
    knobLayer_->setCornerRadius(kKnobSize / 2);
    knobLayer_->setShadow(Color::black(), 0.3, 2, {0, -1});
    knobLayer_->setOpacity(0);
    layer()->addSublayer(trackLayer_);
    layer()->addSublayer(fillLayer_);
    layer()->addSublayer(knobLayer_);
    layout();
}

void ModernProgressView::setAccentColor(const Color& color) {
    accentColor_ = color;
    fillLayer_->setBackgroundColor(color);
}

void ModernProgressView::setProgress(double progress) {
    progress_ = progress;
    updateFill();
}

void ModernProgressView::setEnabled(bool enabled) {
    isEnabled_ = enabled;
    const double opacity = enabled ? 1 : kDisabledOpacity;
    trackLayer_->setOpacity(opacity);
    fillLayer_->setOpacity(opacity);
}

void ModernProgressView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void ModernProgressView::layout() {
    const double midY = bounds().height() / 2;
    trackLayer_->setFrame({0, midY - kBarHeight / 2, bounds().width(), kBarHeight});
    updateFill();
}

void ModernProgressView::updateFill() {
    const double width = bounds().width();
    const double midY = bounds().height() / 2;
    const double p = clamped01(progress_);
    // An empty bar still shows a stub of the fill.
    fillLayer_->setFrame(
        {0, trackLayer_->frame().minY(), std::max(width * p, kBarHeight), kBarHeight});
    knobLayer_->setFrame({p * width - kKnobSize / 2, midY - kKnobSize / 2, kKnobSize, kKnobSize});
}

double ModernProgressView::pointerFraction(const Event& event) const {
    const double width = bounds().width();
    if (width <= 0) {
        return 0;  // a collapsed bar has no position to report
    }
    const Point p = convertFromView(event.locationInWindow, nullptr);
    return clamped01(p.x / width);
}

bool ModernProgressView::pointerInside(const Event& event) const {
    const Point p = convertFromView(event.locationInWindow, nullptr);
    Rect area = bounds();
    return p.x >= area.minX() && p.x <= area.maxX() && p.y >= area.minY() - kHoverSlop &&
           p.y <= area.maxY() + kHoverSlop;
}

void ModernProgressView::updateTrackingAreas() {
    Rect area = bounds();
    area = {area.minX(), area.minY() - kHoverSlop, area.width(), area.height() + 2 * kHoverSlop};
    replaceHoverTrackingArea(trackingArea_, area, TrackingMouseMoved);
}

void ModernProgressView::setKnobVisible(bool visible) {
    Transaction::Scope scope;
    Transaction::setAnimationDuration(kKnobFade);
    knobLayer_->setOpacity(visible ? 1 : 0);
}

void ModernProgressView::mouseEntered(const Event&) {
    isHovering_ = true;
    if (showsKnobOnHover_) {
        setKnobVisible(true);
    }
}

void ModernProgressView::mouseExited(const Event&) {
    if (isDragging_) {
        return;  // the knob stays while the drag goes on; the release decides
    }
    isHovering_ = false;
    if (showsKnobOnHover_) {
        setKnobVisible(false);
    }
}

void ModernProgressView::send(double fraction) {
    lastSent_ = fraction;
    if (onSeek) {
        onSeek(fraction);
    }
}

void ModernProgressView::mouseDown(const Event& event) {
    isDragging_ = true;
    lastSent_.reset();
    if (!isEnabled_) {
        return;
    }
    // Shown at once, reported on release or while dragging: a click seeks once.
    progress_ = pointerFraction(event);
    updateFill();
}

void ModernProgressView::mouseDragged(const Event& event) {
    if (!isEnabled_ || !isDragging_) {
        return;
    }
    const double f = pointerFraction(event);
    progress_ = f;
    updateFill();
    if (lastSent_ != f) {
        send(f);
    }
}

void ModernProgressView::mouseUp(const Event& event) {
    const bool wasDragging = isDragging_;
    isDragging_ = false;
    if (isEnabled_ && wasDragging) {
        const double f = pointerFraction(event);
        progress_ = f;
        updateFill();
        if (lastSent_ != f) {
            send(f);
        }
    }
    // Exits during the drag were ignored: the pointer may have left for good.
    isHovering_ = pointerInside(event);
    if (!isHovering_ && showsKnobOnHover_) {
        setKnobVisible(false);
    }
}

}  // namespace corvix

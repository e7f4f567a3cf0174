#include "platform/ui/Slider.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

Slider::Slider(Rect frame) : Control(frame) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::Slider);
    setContinuous(true);
}

std::shared_ptr<Slider> Slider::make(double value, double minValue, double maxValue) {
    auto s = std::make_shared<Slider>(Rect(0, 0, 120, 22));
    s->min_ = minValue;
    s->max_ = maxValue;
    s->setDoubleValue(value);
    return s;
}

void Slider::setDoubleValue(double value) {
    value = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    if (value == value_) {
        return;
    }
    value_ = value;
    setNeedsDisplay();
}

void Slider::setMinValue(double value) {
    min_ = value;
    setDoubleValue(value_);
    setNeedsDisplay();
}

void Slider::setMaxValue(double value) {
    max_ = value;
    setDoubleValue(value_);
    setNeedsDisplay();
}

double Slider::valueForX(double x) const {
    double usable = bounds().width() - kKnob;
    if (usable <= 0) {
        return min_;
    }
    double f = std::clamp((x - kKnob / 2) / usable, 0.0, 1.0);
    return min_ + f * (max_ - min_);
}

void Slider::setFromEvent(const Event& event) {
    Point p = convertFromView(event.locationInWindow, nullptr);
    setDoubleValue(valueForX(p.x));
}

void Slider::mouseDown(const Event& event) {
    if (!isEnabled()) {
        return;
    }
    setTracking(true);
    setFromEvent(event);
    if (isContinuous()) {
        sendAction();
    }
}

void Slider::mouseDragged(const Event& event) {
    if (!isTracking()) {
        return;
    }
    setFromEvent(event);
    if (isContinuous()) {
        sendAction();
    }
}

void Slider::mouseUp(const Event& event) {
    if (!isTracking()) {
        return;
    }
    setTracking(false);
    setFromEvent(event);
    sendAction();
}

void Slider::changeTo(double value) {
    setDoubleValue(value);
    auto keep = weak_from_this().lock();  // the action may drop the slider from its tree
    postAccessibilityNotification(AccessibilityNotification::ValueChanged);
    sendAction();
}

void Slider::keyDown(const Event& event) {
    if (isEnabled() &&
        (event.keyCode == KeyCode::RightArrow || event.keyCode == KeyCode::UpArrow)) {
        changeTo(value_ + 0.05 * (max_ - min_));
    } else if (isEnabled() &&
               (event.keyCode == KeyCode::LeftArrow || event.keyCode == KeyCode::DownArrow)) {
        changeTo(value_ - 0.05 * (max_ - min_));
    } else {
        Control::keyDown(event);
    }
}

// A disabled slider (a timeline that cannot seek) takes no change from assistive technologies
// either.

bool Slider::accessibilityPerformIncrement() {
    if (!isEnabled()) {
        return false;
    }
    changeTo(value_ + 0.05 * (max_ - min_));
    return true;
}

bool Slider::accessibilityPerformDecrement() {
    if (!isEnabled()) {
        return false;
    }
    changeTo(value_ - 0.05 * (max_ - min_));
    return true;
}

bool Slider::accessibilityPerformSetValue(double value) {
    if (!isEnabled() || !std::isfinite(value)) {
        return false;
    }
    changeTo(value);
    return true;
}

std::string Slider::accessibilityValueDescription() const {
    return describer_ ? describer_(*this) : std::string();
}

void Slider::draw(GraphicsContext& ctx, const Rect&) {
    Rect b = bounds();
    double trackH = 4;
    Rect track(kKnob / 2, b.midY() - trackH / 2, std::max(0.0, b.width() - kKnob), trackH);
    double f = max_ > min_ ? (value_ - min_) / (max_ - min_) : 0;
    double alpha = isEnabled() ? 1.0 : 0.45;
    ctx.fillRoundedRect(track, 2,
                        Color::system(SystemColor::Label).withAlphaComponent(0.14 * alpha));
    Rect filled(track.minX(), track.minY(), track.width() * f, trackH);
    ctx.fillRoundedRect(filled, 2,
                        Color::system(SystemColor::ControlAccent).withAlphaComponent(alpha));
    double cx = track.minX() + track.width() * f;
    Rect knob(cx - kKnob / 2 + 1, b.midY() - kKnob / 2 + 1, kKnob - 2, kKnob - 2);
    ctx.fillEllipse(knob.offsetBy(0, -0.5), Color::black().withAlphaComponent(0.12 * alpha));
    ctx.fillEllipse(knob, Color::calibratedWhite(isTracking() ? 0.92 : 1.0, alpha));
    ctx.strokeEllipse(knob, Color::black().withAlphaComponent(0.18 * alpha), 0.5);
}

}  // namespace corvix

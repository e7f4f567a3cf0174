#include "controls/ActionView.h"

namespace corvix {

ActionView::ActionView(Rect frame) : View(frame), backgroundLayer_(std::make_shared<Layer>()) {
    setWantsLayer(true);
    backgroundLayer_->setOpacity(0);
    backgroundLayer_->setMasksToBounds(true);
    layer()->insertSublayer(backgroundLayer_, 0);
    applyAppearance(false);
}

ActionView::~ActionView() {
    if (trackingArea_) {
        removeTrackingArea(trackingArea_);
    }
}

void ActionView::setFillColor(std::optional<Color> color) {
    fillColor_ = color;
    applyAppearance(false);
}

void ActionView::setStrokeColor(std::optional<Color> color) {
    strokeColor_ = color;
    applyAppearance(false);
}

void ActionView::setHoverFillColor(std::optional<Color> color) {
    hoverFillColor_ = color;
    applyAppearance(false);
}

void ActionView::setHoverStrokeColor(std::optional<Color> color) {
    hoverStrokeColor_ = color;
    applyAppearance(false);
}

void ActionView::setPressedFillColor(std::optional<Color> color) {
    pressedFillColor_ = color;
    applyAppearance(false);
}

void ActionView::setPressedStrokeColor(std::optional<Color> color) {
    pressedStrokeColor_ = color;
    applyAppearance(false);
}

void ActionView::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    backgroundLayer_->setCornerRadius(radius);
}

bool ActionView::acceptsFirstMouse(const Event&) const {
    return true;
}

void ActionView::updateTrackingAreas() {
    replaceHoverTrackingArea(trackingArea_, visibleRect());
}

void ActionView::mouseEntered(const Event&) {
    isHovering_ = true;
    applyAppearance(true);
}

void ActionView::mouseExited(const Event&) {
    isHovering_ = false;
    applyAppearance(true);
    isPressed_ = false;
    applyAppearance(true);
}

void ActionView::mouseDown(const Event&) {
    isPressed_ = true;
    applyAppearance(true);
}

void ActionView::mouseUp(const Event& event) {
    Point p = convertFromView(event.locationInWindow, nullptr);
    // A press abandoned by leaving the view was already cleared; its release runs nothing.
    bool wasPressed = isPressed_;
    if (!bounds().contains(p) || !wasPressed) {
        isPressed_ = false;
        applyAppearance(true);
        return;
    }
    auto keep = shared_from_this();
    if (onAction) {
        onAction();
    }
    isPressed_ = false;
    applyAppearance(true);
}

bool ActionView::accessibilityPerformPress() {
    if (onAction) {
        onAction();
    }
    return true;
}

void ActionView::menuItemHighlightChanged(bool highlighted) {
    isMenuItemHighlighted_ = highlighted;
    applyAppearance(true);
}

void ActionView::layout() {
    backgroundLayer_->setFrame(bounds().insetBy(6, 3));
    backgroundLayer_->setCornerRadius(cornerRadius_);
}

void ActionView::applyAppearance(bool animated) {
    std::optional<Color> fill;
    std::optional<Color> border;
    double scale = 1;
    if (isPressed_) {
        fill = pressedFillColor_ ? pressedFillColor_
               : hoverFillColor_ ? hoverFillColor_
                                 : fillColor_;
        border = pressedStrokeColor_ ? pressedStrokeColor_
                 : hoverStrokeColor_ ? hoverStrokeColor_
                                     : strokeColor_;
        scale = 0.975;
    } else if (isHovering_ || isMenuItemHighlighted_) {
        fill = hoverFillColor_ ? hoverFillColor_ : fillColor_;
        border = hoverStrokeColor_ ? hoverStrokeColor_ : strokeColor_;
    } else {
        fill = fillColor_;
        border = strokeColor_;
    }
    Transaction::Scope transaction;
    Transaction::setAnimationDuration(animated ? (isPressed_ ? 0.05 : 0.1) : 0);
    Transaction::setDisableActions(!animated);
    Transaction::setTimingFunction(kTiming);
    backgroundLayer_->setOpacity(fill ? 1 : 0);
    backgroundLayer_->setBackgroundColor(fill);
    backgroundLayer_->setBorderColor(border);
    backgroundLayer_->setBorderWidth(border ? 0.6 : 0);
    backgroundLayer_->setTransform({scale, scale, 1});
}

}  // namespace corvix

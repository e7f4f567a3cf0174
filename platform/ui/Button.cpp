#include "platform/ui/Button.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"

namespace corvix {

Button::Button(Rect frame) : Control(frame) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::Button);
}

std::shared_ptr<Button> Button::push(std::string title) {
    auto b = std::make_shared<Button>(Rect(0, 0, 80, 24));
    b->title_ = std::move(title);
    return b;
}

std::shared_ptr<Button> Button::checkbox(std::string title) {
    auto b = std::make_shared<Button>(Rect(0, 0, 120, 18));
    b->title_ = std::move(title);
    b->setButtonType(ButtonType::Switch);
    return b;
}

std::shared_ptr<Button> Button::imageOnly(ImagePtr image) {
    auto b = std::make_shared<Button>(Rect(0, 0, 24, 24));
    b->image_ = std::move(image);
    b->imagePosition_ = ImagePosition::ImageOnly;
    b->bordered_ = false;
    return b;
}

void Button::setButtonType(ButtonType type) {
    type_ = type;
    setAccessibilityRole(type == ButtonType::Switch ? AccessibilityRole::CheckBox
                                                    : AccessibilityRole::Button);
    setNeedsDisplay();
}

void Button::setBezelStyle(BezelStyle style) {
    bezel_ = style;
    setNeedsDisplay();
}

void Button::setBordered(bool bordered) {
    bordered_ = bordered;
    setNeedsDisplay();
}

void Button::setTitle(std::string title) {
    title_ = std::move(title);
    setNeedsDisplay();
}

void Button::setImage(ImagePtr image) {
    if (image == image_) {
        return;
    }
    image_ = std::move(image);
    setNeedsDisplay();
}

void Button::setImagePosition(ImagePosition position) {
    imagePosition_ = position;
    setNeedsDisplay();
}

void Button::setImageScaling(ImageScaling scaling) {
    imageScaling_ = scaling;
    setNeedsDisplay();
}

void Button::setContentTintColor(std::optional<Color> color) {
    tint_ = color;
    setNeedsDisplay();
}

void Button::setState(ControlState state) {
    if (state == state_) {
        return;
    }
    state_ = state;
    if (type_ == ButtonType::Switch) {
        setAccessibilityValue(state == ControlState::On ? 1.0 : 0.0);
    }
    setNeedsDisplay();
}

void Button::setHighlighted(bool value) {
    if (value != highlighted_) {
        highlighted_ = value;
        setNeedsDisplay();
    }
}

bool Button::inside(const Event& event) const {
    return bounds().contains(convertFromView(event.locationInWindow, nullptr));
}

void Button::mouseDown(const Event& event) {
    if (!isEnabled()) {
        return;
    }
    setTracking(true);
    setHighlighted(inside(event));
}

void Button::mouseDragged(const Event& event) {
    if (isTracking()) {
        setHighlighted(inside(event));
    }
}

void Button::mouseUp(const Event& event) {
    if (!isTracking()) {
        return;
    }
    setTracking(false);
    setHighlighted(false);
    if (inside(event)) {
        performClick();
    }
}

void Button::keyDown(const Event& event) {
    if (isEnabled() && (event.keyCode == KeyCode::Space || event.characters == " ")) {
        performClick();
        return;
    }
    Control::keyDown(event);
}

bool Button::acceptsFirstMouse(const Event&) const {
    return true;
}

bool Button::accessibilityPerformPress() {
    if (!isEnabled()) {
        return false;
    }
    performClick();
    return true;
}

void Button::performClick() {
    if (!isEnabled()) {
        return;
    }
    if (type_ == ButtonType::Switch || type_ == ButtonType::Toggle ||
        type_ == ButtonType::PushOnPushOff) {
        setState(state_ == ControlState::On ? ControlState::Off : ControlState::On);
    } else if (type_ == ButtonType::Radio) {
        setState(ControlState::On);
    }
    sendAction();
}

void Button::drawCheckbox(GraphicsContext& ctx) {
    Rect b = bounds();
    double side = controlSize() == ControlSize::Small ? 12 : 14;
    Rect box(2, b.midY() - side / 2, side, side);
    bool on = state_ == ControlState::On;
    double alpha = isEnabled() ? 1.0 : 0.45;
    if (on) {
        Color accent = Color::system(SystemColor::ControlAccent);
        ctx.fillRoundedRect(box, 3.5, accent.withAlphaComponent(highlighted_ ? 0.75 : alpha));
        Path check;
        check.moveTo({box.minX() + side * 0.24, box.minY() + side * 0.52});
        check.lineTo({box.minX() + side * 0.42, box.minY() + side * 0.30});
        check.lineTo({box.minX() + side * 0.76, box.minY() + side * 0.72});
        ctx.stroke(check, Color::white().withAlphaComponent(alpha), 1.8);
    } else {
        ctx.fillRoundedRect(box, 3.5,
                            Color::system(SystemColor::ControlBackground)
                                .withAlphaComponent(highlighted_ ? 0.7 : alpha));
        ctx.strokeRoundedRect(box.insetBy(0.25, 0.25), 3.5,
                              Color::system(SystemColor::SecondaryLabel).withAlphaComponent(0.5),
                              0.75);
    }
    if (!title_.empty()) {
        Rect text(box.maxX() + 6, b.minY(), b.width() - box.maxX() - 6, b.height());
        Color color = Color::system(SystemColor::Label);
        ctx.drawText(title_, text,
                     TextStyle{font(), isEnabled() ? color : color.withAlphaComponent(0.35)});
    }
}

void Button::draw(GraphicsContext& ctx, const Rect&) {
    if (type_ == ButtonType::Switch) {
        drawCheckbox(ctx);
        return;
    }
    Rect b = bounds();
    bool on = state_ == ControlState::On &&
              (type_ == ButtonType::Toggle || type_ == ButtonType::PushOnPushOff);
    if (bordered_) {
        double radius = bezel_ == BezelStyle::Circular        ? b.height() / 2
                        : controlSize() == ControlSize::Small ? 5
                                                              : 6;
        Rect face = b.insetBy(1, 1);
        Color fill = Color::system(SystemColor::Control);
        if (bezel_ == BezelStyle::RegularSquare || on) {
            fill = Color::system(SystemColor::ControlAccent).withAlphaComponent(on ? 0.9 : 0.16);
        }
        if (highlighted_) {
            fill = Color::system(SystemColor::ControlAccent).withAlphaComponent(0.3);
        }
        ctx.fillRoundedRect(
            face, radius, fill.withAlphaComponent(fill.alphaComponent() * (isEnabled() ? 1 : 0.5)));
        ctx.strokeRoundedRect(face, radius, Color::system(SystemColor::Separator), 0.5);
    } else if (highlighted_) {
        ctx.fillRoundedRect(b, 5, Color::system(SystemColor::Label).withAlphaComponent(0.1));
    }
    Color tint = tint_.value_or(Color::system(SystemColor::Label));
    double alpha = isEnabled() ? 1.0 : 0.35;
    bool showImage = image_ && imagePosition_ != ImagePosition::NoImage;
    bool showTitle = !title_.empty() && imagePosition_ != ImagePosition::ImageOnly;
    Rect content = b.insetBy(bordered_ ? 6 : 2, bordered_ ? 3 : 2);
    if (showImage && !showTitle) {
        Rect r = imageRect(image_->size(), content, imageScaling_);
        ctx.drawImage(*image_, r, CompositingOperation::SourceOver, alpha, tint);
        return;
    }
    if (showImage) {
        Size s = image_->size();
        double side = std::min(content.height(), std::max(s.height, 1.0));
        Rect r(content.minX(), content.midY() - side / 2, side, side);
        ctx.drawImage(*image_, imageRect(s, r, imageScaling_), CompositingOperation::SourceOver,
                      alpha, tint);
        content =
            Rect(r.maxX() + 4, content.minY(), content.maxX() - r.maxX() - 4, content.height());
    }
    if (showTitle) {
        Color color = on ? Color::white() : Color::system(SystemColor::ControlText);
        ctx.drawText(title_, content,
                     TextStyle{font(), color.withAlphaComponent(color.alphaComponent() * alpha),
                               showImage ? TextAlignment::Left : TextAlignment::Center});
    }
}

}  // namespace corvix

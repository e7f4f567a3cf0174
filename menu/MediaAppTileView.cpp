#include "menu/MediaAppTileView.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/ui/Event.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/Window.h"

namespace corvix {

MediaAppTileLayout::MediaAppTileLayout(double contentWidth) {
    tileWidth = std::max(std::floor((contentWidth - 2 * kInset - 2 * kGap) / kColumns), 1.0);
    imageHeight = tileWidth / 1.6;
    tileSize = Size{tileWidth, imageHeight + 20};
    imageFrame = Rect(0, 0, tileWidth, imageHeight);
    labelFrame = Rect(0, imageHeight + 4, tileWidth, 16);
}

Rect MediaAppTileLayout::tileFrame(std::size_t index) const {
    const double column = static_cast<double>(index % kColumns);
    const double row = static_cast<double>(index / kColumns);
    return Rect(kInset + (tileWidth + kGap) * column, (imageHeight + 20 + kGap) * row,
                tileSize.width, tileSize.height);
}

double MediaAppTileLayout::documentHeight(std::size_t count) const {
    const std::size_t rows = (count + kColumns - 1) / kColumns;
    return static_cast<double>(rows) * (imageHeight + 20) +
           static_cast<double>(rows > 0 ? rows - 1 : 0) * kGap;
}

MediaAppTileView::MediaAppTileView(MediaAppTileModel model, const MediaAppTileLayout& layout,
                                   std::function<void(const std::string& appId)> onLaunch)
    : model_(std::move(model)), onLaunch_(std::move(onLaunch)) {
    setToolTip(model_.name);
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::Button);
    setAccessibilityLabel("Launch " + model_.name);
    applyLayout(layout);
}

void MediaAppTileView::setImage(ImagePtr image) {
    model_.image = std::move(image);
    setNeedsDisplay();
}

void MediaAppTileView::applyLayout(const MediaAppTileLayout& layout) {
    setFrameSize(layout.tileSize);
    imageFrame_ = layout.imageFrame;
    labelFrame_ = layout.labelFrame;
    setNeedsDisplay();
}

void MediaAppTileView::updateTrackingAreas() {
    replaceHoverTrackingArea(trackingArea_, visibleRect());
}

void MediaAppTileView::mouseEntered(const Event&) {
    isHovered_ = true;
    setNeedsDisplay();
}

void MediaAppTileView::mouseExited(const Event&) {
    isHovered_ = false;
    isPressed_ = false;
    setNeedsDisplay();
}

void MediaAppTileView::mouseDown(const Event&) {
    if (!isEnabled()) {
        return;
    }
    isPressed_ = true;
    setNeedsDisplay();
}

void MediaAppTileView::mouseUp(const Event& event) {
    const bool wasPressed = isPressed_;
    isPressed_ = false;
    setNeedsDisplay();
    if (wasPressed && bounds().contains(convertFromView(event.locationInWindow, nullptr))) {
        launch();
    }
}

void MediaAppTileView::keyDown(const Event& event) {
    if (event.keyCode == KeyCode::Return || event.keyCode == KeyCode::Enter ||
        event.keyCode == KeyCode::Space) {
        launch();
        return;
    }
    std::optional<TileFocusMove> move;
    switch (event.keyCode) {
        case KeyCode::Tab:
            move =
                (event.modifiers & ModifierShift) ? TileFocusMove::Previous : TileFocusMove::Next;
            break;
        case KeyCode::RightArrow:
            move = TileFocusMove::Right;
            break;
        case KeyCode::LeftArrow:
            move = TileFocusMove::Left;
            break;
        case KeyCode::DownArrow:
            move = TileFocusMove::Down;
            break;
        case KeyCode::UpArrow:
            move = TileFocusMove::Up;
            break;
        default:
            break;
    }
    if (move && onMoveFocus && onMoveFocus(model_.id, *move)) {
        return;
    }
    Control::keyDown(event);
}

bool MediaAppTileView::becomeFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool MediaAppTileView::resignFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool MediaAppTileView::accessibilityPerformPress() {
    launch();
    return true;
}

void MediaAppTileView::launch() {
    if (!isEnabled() || !onLaunch_) {
        return;
    }
    auto keep = shared_from_this();
    onLaunch_(model_.id);
}

void MediaAppTileView::draw(GraphicsContext& context, const Rect&) {
    const Path shape = Path::roundedRect(imageFrame_, 10, 10);
    context.save();
    context.clip(shape);
    context.fill(shape, Color::system(SystemColor::QuaternaryLabel));
    if (model_.image) {
        // Aspect fill: the larger ratio covers the frame, centred, the rest clipped.
        const Size size = model_.image->size();
        const double scale = std::max(imageFrame_.size.width / std::max(size.width, 1.0),
                                      imageFrame_.size.height / std::max(size.height, 1.0));
        const Size drawn{size.width * scale, size.height * scale};
        const Rect target(imageFrame_.midX() - drawn.width / 2,
                          imageFrame_.midY() - drawn.height / 2, drawn.width, drawn.height);
        context.drawImage(*model_.image, target, CompositingOperation::SourceOver,
                          isEnabled() ? 1.0 : 0.5);
    } else if (auto symbol = withSymbolConfiguration(systemSymbolImage(model_.fallbackSymbol), 22,
                                                     FontWeight::Medium)) {
        const Size size = symbol->size();
        const Rect target(imageFrame_.midX() - size.width / 2, imageFrame_.midY() - size.height / 2,
                          size.width, size.height);
        context.drawImage(*symbol, target, CompositingOperation::SourceOver, 1.0,
                          Color::system(SystemColor::Label));
    }
    if (isPressed_) {
        context.fill(shape, Color::system(SystemColor::SelectedControl).withAlphaComponent(0.25));
    }
    context.restore();
    if (isHovered_ || isPressed_) {
        context.strokeRoundedRect(
            imageFrame_.insetBy(0.75, 0.75), 10,
            Color::system(SystemColor::ControlAccent).withAlphaComponent(0.65), 1.5);
    }
    if (Window* host = window(); host && host->firstResponder() == this) {
        // As wide as the system's ring, so the half-transparent colour reads on either ground.
        context.strokeRoundedRect(bounds().insetBy(1.5, 1.5), 10,
                                  Color::system(SystemColor::KeyboardFocusIndicator), 3);
    }
    TextStyle style;
    style.font = Font::system(11);
    style.color = isEnabled() ? Color::system(SystemColor::Label)
                              : Color::system(SystemColor::DisabledControlText);
    style.alignment = TextAlignment::Center;
    style.truncateTail = true;
    context.drawText(model_.name, labelFrame_, style);
}

}  // namespace corvix

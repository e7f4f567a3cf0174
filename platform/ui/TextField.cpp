#include "platform/ui/TextField.h"

namespace corvix {

TextField::TextField(Rect frame) : Control(frame) {
    setAccessibilityRole(AccessibilityRole::StaticText);
}

std::shared_ptr<TextField> TextField::label(std::string text) {
    auto field = std::make_shared<TextField>();
    field->text_ = std::move(text);
    field->editable_ = false;
    field->selectable_ = false;
    field->bordered_ = false;
    field->drawsBackground_ = false;
    return field;
}

void TextField::setStringValue(std::string text) {
    if (text == text_) {
        return;
    }
    text_ = std::move(text);
    setNeedsDisplay();
}

void TextField::setTextColor(Color color) {
    textColor_ = color;
    setNeedsDisplay();
}

void TextField::setAlignment(TextAlignment alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}

void TextField::setTruncatesTail(bool value) {
    truncateTail_ = value;
    setNeedsDisplay();
}

void TextField::setBordered(bool value) {
    bordered_ = value;
    setNeedsDisplay();
}

void TextField::setDrawsBackground(bool value) {
    drawsBackground_ = value;
    setNeedsDisplay();
}

void TextField::setBackgroundColor(Color color) {
    backgroundColor_ = color;
    setNeedsDisplay();
}

void TextField::draw(GraphicsContext& context, const Rect&) {
    Rect b = bounds();
    if (drawsBackground_) {
        context.fillRect(b, backgroundColor_);
    }
    if (bordered_) {
        context.strokeRoundedRect(b.insetBy(0.5, 0.5), 4, Color::system(SystemColor::Separator), 1);
    }
    Rect textRect = bordered_ ? b.insetBy(4, 0) : b.insetBy(2, 0);
    Color color = isEnabled() ? textColor_ : textColor_.withAlphaComponent(0.35);
    context.drawText(text_, textRect, TextStyle{font(), color, alignment_, truncateTail_});
}

}  // namespace corvix

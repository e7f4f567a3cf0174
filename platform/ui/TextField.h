#pragma once

#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Control.h"
#include "platform/ui/GraphicsContext.h"

namespace corvix {

/// A text field; the program uses it as a label (not editable, not selectable, no border, no
/// background) that draws one line of text, truncated at the tail by default.
class TextField : public Control {
  public:
    explicit TextField(Rect frame = {});
    /// A label with `text`: system font 13, label colour, no border or background.
    static std::shared_ptr<TextField> label(std::string text);

    const std::string& stringValue() const { return text_; }
    void setStringValue(std::string text);
    Color textColor() const { return textColor_; }
    void setTextColor(Color color);
    TextAlignment alignment() const { return alignment_; }
    void setAlignment(TextAlignment alignment);
    bool truncatesTail() const { return truncateTail_; }
    void setTruncatesTail(bool value);
    bool isEditable() const { return editable_; }
    void setEditable(bool value) { editable_ = value; }
    bool isSelectable() const { return selectable_; }
    void setSelectable(bool value) { selectable_ = value; }
    bool isBordered() const { return bordered_; }
    void setBordered(bool value);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool value);
    Color backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(Color color);

    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    std::string text_;
    Color textColor_ = Color::system(SystemColor::Label);
    TextAlignment alignment_ = TextAlignment::Left;
    bool truncateTail_ = true;
    bool editable_ = true;
    bool selectable_ = true;
    bool bordered_ = true;
    bool drawsBackground_ = false;
    Color backgroundColor_ = Color::system(SystemColor::ControlBackground);
};

}  // namespace corvix

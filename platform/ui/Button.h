#pragma once

#include <optional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"

namespace corvix {

enum class ButtonType { MomentaryPushIn, PushOnPushOff, Toggle, Switch, Radio, MomentaryChange };

/// Bezel styles, numbered as the original toolkit numbers them ("the first bezel style" is
/// Rounded).
enum class BezelStyle : int {
    Rounded = 1,
    RegularSquare = 2,
    Disclosure = 5,
    ShadowlessSquare = 6,
    Circular = 7,
    TexturedSquare = 8,
    HelpButton = 9,
    SmallSquare = 10,
    TexturedRounded = 11,
    RoundRect = 12,
    Recessed = 13,
    RoundedDisclosure = 14,
    Inline = 15,
};

enum class ImagePosition { NoImage, ImageOnly, ImageLeft, ImageRight, ImageBelow, ImageAbove };

enum class ControlState { Off = 0, On = 1, Mixed = -1 };

/// A push button, check box (`ButtonType::Switch`) or borderless/image-only button. Tracks the
/// mouse itself: highlighted while the pointer is inside during a press, and on a release
/// inside it flips the state of check boxes and toggles, then sends its action.
class Button : public Control {
  public:
    explicit Button(Rect frame = {});
    static std::shared_ptr<Button> push(std::string title);
    static std::shared_ptr<Button> checkbox(std::string title);
    static std::shared_ptr<Button> imageOnly(ImagePtr image);

    ButtonType buttonType() const { return type_; }
    void setButtonType(ButtonType type);
    BezelStyle bezelStyle() const { return bezel_; }
    void setBezelStyle(BezelStyle style);
    bool isBordered() const { return bordered_; }
    void setBordered(bool bordered);
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image);
    ImagePosition imagePosition() const { return imagePosition_; }
    void setImagePosition(ImagePosition position);
    ImageScaling imageScaling() const { return imageScaling_; }
    void setImageScaling(ImageScaling scaling);
    const std::optional<Color>& contentTintColor() const { return tint_; }
    void setContentTintColor(std::optional<Color> color);
    ControlState state() const { return state_; }
    void setState(ControlState state);
    bool isHighlighted() const { return highlighted_; }

    void mouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseUp(const Event& event) override;
    void keyDown(const Event& event) override;
    bool acceptsFirstMouse(const Event& event) const override;
    bool accessibilityPerformPress() override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

    /// What a completed click does: flip the state when the type calls for it, send the action.
    void performClick();

  private:
    bool inside(const Event& event) const;
    void setHighlighted(bool value);
    void drawCheckbox(GraphicsContext& context);

    ButtonType type_ = ButtonType::MomentaryPushIn;
    BezelStyle bezel_ = BezelStyle::Rounded;
    bool bordered_ = true;
    std::string title_;
    ImagePtr image_;
    ImagePosition imagePosition_ = ImagePosition::NoImage;
    ImageScaling imageScaling_ = ImageScaling::ProportionallyDown;
    std::optional<Color> tint_;
    ControlState state_ = ControlState::Off;
    bool highlighted_ = false;
};

}  // namespace corvix

#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

namespace corvix {

/// A clickable row or button background with normal, hover and pressed looks; runs `onAction`
/// on a click released inside. The look lives on `backgroundLayer` (bounds inset by 6 and 3).
class ActionView : public View {
  public:
    explicit ActionView(Rect frame = {});
    ~ActionView() override;

    std::function<void()> onAction;

    const std::optional<Color>& fillColor() const { return fillColor_; }
    void setFillColor(std::optional<Color> color);
    const std::optional<Color>& strokeColor() const { return strokeColor_; }
    void setStrokeColor(std::optional<Color> color);
    const std::optional<Color>& hoverFillColor() const { return hoverFillColor_; }
    void setHoverFillColor(std::optional<Color> color);
    const std::optional<Color>& hoverStrokeColor() const { return hoverStrokeColor_; }
    void setHoverStrokeColor(std::optional<Color> color);
    const std::optional<Color>& pressedFillColor() const { return pressedFillColor_; }
    void setPressedFillColor(std::optional<Color> color);
    const std::optional<Color>& pressedStrokeColor() const { return pressedStrokeColor_; }
    void setPressedStrokeColor(std::optional<Color> color);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);

    Layer& backgroundLayer() const { return *backgroundLayer_; }
    const std::shared_ptr<TrackingArea>& trackingArea() const { return trackingArea_; }
    bool isHovering() const { return isHovering_; }
    bool isPressed() const { return isPressed_; }

    bool acceptsFirstResponder() const override { return true; }
    bool acceptsFirstMouse(const Event& event) const override;
    void updateTrackingAreas() override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    bool accessibilityPerformPress() override;
    /// A highlighted menu row (the keyboard's selection) shows the hover look.
    void menuItemHighlightChanged(bool highlighted) override;
    bool drawsMenuItemHighlight() const override { return true; }
    bool isMenuItemHighlighted() const { return isMenuItemHighlighted_; }
    void layout() override;

    /// The timing curve of every look change.
    static constexpr TimingFunction kTiming{0.165, 0.84, 0.44, 1.0};

  private:
    void applyAppearance(bool animated);

    std::optional<Color> fillColor_;
    std::optional<Color> strokeColor_;
    std::optional<Color> hoverFillColor_;
    std::optional<Color> hoverStrokeColor_;
    std::optional<Color> pressedFillColor_;
    std::optional<Color> pressedStrokeColor_;
    double cornerRadius_ = 0;
    std::shared_ptr<Layer> backgroundLayer_;
    std::shared_ptr<TrackingArea> trackingArea_;
    bool isHovering_ = false;
    bool isPressed_ = false;
    bool isMenuItemHighlighted_ = false;
};

}  // namespace corvix

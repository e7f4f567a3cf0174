#pragma once

#include <functional>

#include "platform/ui/Color.h"
#include "platform/ui/Control.h"

namespace corvix {

/// Lets the user choose a colour outside the control (a colour dialog); provided by the
/// backend.
class ColorPanel {
  public:
    virtual ~ColorPanel() = default;
    /// Shows the chooser starting at `initial`; `onPick` runs for each colour chosen.
    virtual void show(const Color& initial, std::function<void(const Color&)> onPick) = 0;
};

/// A colour swatch. A completed click activates it and opens the installed colour panel; each
/// colour chosen there becomes the well's colour and sends the action.
class ColorWell : public Control {
  public:
    explicit ColorWell(Rect frame = {});

    const Color& color() const { return color_; }
    void setColor(const Color& color);
    bool isActive() const { return active_; }
    void activate();
    void deactivate();

    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    bool accessibilityPerformPress() override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    Color color_ = Color::white();
    bool active_ = false;
};

}  // namespace corvix

#pragma once

#include "platform/ui/Control.h"

namespace corvix {

/// An on/off switch drawn by the program: a pill-shaped track with a round knob. A click flips
/// it and sends the action (the owner reads `isOn` then); assigning `isOn` sends nothing.
/// Accepts the first click in an inactive window, so it works inside an open menu.
class OrbeluneToggleSwitch : public Control {
  public:
    explicit OrbeluneToggleSwitch(Rect frame = {});

    bool isOn() const { return isOn_; }
    void setOn(bool on);

    void mouseDown(const Event& event) override;
    bool acceptsFirstMouse(const Event& event) const override;
    bool accessibilityPerformPress() override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    bool isOn_ = false;
};

}  // namespace corvix

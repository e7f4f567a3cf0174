#pragma once

#include "platform/ui/Control.h"

namespace corvix {

/// Up/down arrows: a press in the upper half adds the increment, in the lower half subtracts
/// it (clamped, or wrapping when `valueWraps`), then the action goes out.
class Stepper : public Control {
  public:
    explicit Stepper(Rect frame = {});

    double doubleValue() const { return value_; }
    void setDoubleValue(double value);
    double minValue() const { return min_; }
    void setMinValue(double value) { min_ = value; }
    double maxValue() const { return max_; }
    void setMaxValue(double value) { max_ = value; }
    double increment() const { return increment_; }
    void setIncrement(double value) { increment_ = value; }
    bool valueWraps() const { return wraps_; }
    void setValueWraps(bool value) { wraps_ = value; }
    /// Which half is held down: +1 upper, -1 lower, 0 none.
    int pressedHalf() const { return pressed_; }

    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;
    bool accessibilityPerformIncrement() override;
    bool accessibilityPerformDecrement() override;
    bool accessibilityPerformSetValue(double value) override;
    AccessibilityValue accessibilityValue() const override { return value_; }
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

    void stepBy(int direction);

  private:
    double value_ = 0;
    double min_ = 0;
    double max_ = 59;
    double increment_ = 1;
    bool wraps_ = false;
    int pressed_ = 0;
};

}  // namespace corvix

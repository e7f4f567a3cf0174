#pragma once

#include "platform/ui/Control.h"

namespace corvix {

/// A horizontal slider. A press or drag sets the value from the pointer (clamped to the range);
/// the action goes out on every change when continuous, otherwise once at release.
class Slider : public Control {
  public:
    explicit Slider(Rect frame = {});
    static std::shared_ptr<Slider> make(double value, double minValue, double maxValue);

    double doubleValue() const { return value_; }
    void setDoubleValue(double value);
    double minValue() const { return min_; }
    void setMinValue(double value);
    double maxValue() const { return max_; }
    void setMaxValue(double value);
    /// The value a pointer at `x` (own coordinates) chooses.
    double valueForX(double x) const;

    void mouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseUp(const Event& event) override;
    void keyDown(const Event& event) override;
    bool acceptsFirstResponder() const override { return true; }
    bool accessibilityPerformIncrement() override;
    bool accessibilityPerformDecrement() override;
    AccessibilityValue accessibilityValue() const override { return value_; }
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    static constexpr double kKnob = 16;
    void setFromEvent(const Event& event);
    void step(double fraction);

    double value_ = 0;
    double min_ = 0;
    double max_ = 1;
};

}  // namespace corvix

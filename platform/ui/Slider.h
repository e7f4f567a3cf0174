#pragma once

#include <functional>
#include <string>

#include "platform/ui/Control.h"

namespace corvix {

/// A horizontal slider. A press or drag sets the value from the pointer (clamped to the range);
/// the action goes out on every change when continuous, otherwise once at release. Keys and
/// assistive technologies change it in one step, send the action and post a value change.
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
    bool accessibilityPerformSetValue(double value) override;
    AccessibilityValue accessibilityValue() const override { return value_; }
    /// Says the value in words for screen readers (a position as elapsed time, say).
    void setAccessibilityValueDescriber(std::function<std::string(const Slider&)> describer) {
        describer_ = std::move(describer);
    }
    std::string accessibilityValueDescription() const override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;

  private:
    static constexpr double kKnob = 16;
    void setFromEvent(const Event& event);
    /// A change by a key or an assistive technology: the new value goes out at once.
    void changeTo(double value);

    double value_ = 0;
    double min_ = 0;
    double max_ = 1;
    std::function<std::string(const Slider&)> describer_;
};

}  // namespace corvix

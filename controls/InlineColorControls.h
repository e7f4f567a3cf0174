#pragma once

#include <functional>
#include <memory>

#include "menu/StayOpenMenu.h"
#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace corvix {

/// A small round button that brings up a light's picker: a hue wheel or a cool-to-warm
/// gradient. Takes the first click in an inactive menu, accepts focus and clicks on Space and
/// Return.
class InlineColorButtonView : public View {
  public:
    enum class Kind { rgb = 0, temperature = 1 };

    InlineColorButtonView(Kind kind, Rect frame);

    std::function<void()> onClick;
    /// Kept open for the span of a click; may be empty.
    std::weak_ptr<StayOpenMenu> stayOpenMenu;

    Kind kind() const { return kind_; }
    /// What a click, Space, Return or an accessibility press does.
    void performClick();

    void draw(GraphicsContext& context, const Rect& dirtyRect) override;
    void mouseDown(const Event& event) override;
    void keyDown(const Event& event) override;
    bool acceptsFirstMouse(const Event&) const override { return true; }
    bool acceptsFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool accessibilityPerformPress() override;

  private:
    const Kind kind_;
};

/// What the two pickers share: the field inside their bounds, the marker and focus ring, and
/// the press that keeps the menu open until the release (or until the picker leaves its
/// window, since a rebuild mid-drag never delivers the release).
class InlinePickerView : public View {
  public:
    /// Kept open from a press to its release; may be empty.
    std::weak_ptr<StayOpenMenu> stayOpenMenu;

    /// The field: the bounds inset by 6 horizontally and 8 vertically (never negative).
    Rect fieldRect() const;
    /// Where the marker's centre is drawn, in bounds coordinates.
    virtual Point markerCenter() const = 0;
    /// Whether the user is pressing in the picker.
    bool isTracking() const { return tracking_; }

    Size intrinsicContentSize() const override { return kNaturalSize; }
    void mouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseUp(const Event& event) override;
    void viewDidMoveToWindow() override;
    bool acceptsFirstMouse(const Event&) const override { return true; }
    bool acceptsFirstResponder() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    static constexpr Size kNaturalSize{216, 48};

  protected:
    InlinePickerView();
    /// Takes the value at `point` (bounds coordinates) and reports it.
    virtual void handlePoint(Point point, bool isFinal) = 0;
    bool isFocused() const;
    /// Outline, marker and focus ring, over what the picker drew in the field.
    void drawOutlineAndMarker(GraphicsContext& context) const;

  private:
    Point localPoint(const Event& event) const;

    MenuTrackingSuspension suspension_;
    bool tracking_ = false;
};

/// A hue (0...360 across) and saturation (0...100 upwards) field. Reports every drag step and
/// once more, final, at the release; keys report final values.
class InlineColorPickerView : public InlinePickerView {
  public:
    using ChangeHandler = std::function<void(double hue, double saturation, bool isFinal)>;

    InlineColorPickerView(double hue, double saturation, ChangeHandler onChange);

    ChangeHandler onChange;

    double hue() const { return hue_; }
    double saturation() const { return saturation_; }
    /// Shows a value without reporting it.
    void setColor(double hue, double saturation);
    /// The field image, built on the first draw that has room for it.
    const ImagePtr& cachedGradient() const { return cachedGradient_; }

    Point markerCenter() const override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;
    void keyDown(const Event& event) override;
    AccessibilityValue accessibilityValue() const override;
    bool accessibilityPerformIncrement() override;
    bool accessibilityPerformDecrement() override;

    /// The field's pixels: hue along the columns, saturation up the rows, full brightness.
    static ImagePtr makeGradient(int width, int height);

  protected:
    void handlePoint(Point point, bool isFinal) override;

  private:
    void changeByKey(double hue, double saturation);

    double hue_;
    double saturation_;
    ImagePtr cachedGradient_;
};

/// A colour temperature strip in mireds, warm (large) on the left and cool on the right. A drag
/// only moves the marker; the value is reported once, at the release, and after each key.
class InlineTemperaturePickerView : public InlinePickerView {
  public:
    using ChangeHandler = std::function<void(double value)>;

    InlineTemperaturePickerView(double value, double minValue, double maxValue,
                                ChangeHandler onChange);

    ChangeHandler onChange;

    double value() const { return value_; }
    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    /// Shows a value without reporting it.
    void setValue(double value);

    Point markerCenter() const override;
    void draw(GraphicsContext& context, const Rect& dirtyRect) override;
    void keyDown(const Event& event) override;
    AccessibilityValue accessibilityValue() const override;
    bool accessibilityPerformIncrement() override;
    bool accessibilityPerformDecrement() override;

  protected:
    void handlePoint(Point point, bool isFinal) override;

  private:
    void changeByKey(double value);

    double value_;
    const double minValue_;
    const double maxValue_;
};

}  // namespace corvix

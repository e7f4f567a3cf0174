#include "controls/InlineColorControls.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Window.h"
#include "state/StateAccessors.h"

namespace corvix {

namespace {

constexpr double kFieldInsetX = 6;
constexpr double kFieldInsetY = 8;
constexpr double kFieldRadius = 6;
constexpr double kMarkerDiameter = 10;
constexpr int kWheelSlices = 48;
constexpr double kSliceOverlap = 0.02;  // radians

Color focusRingColor() {
    return Color::system(SystemColor::KeyboardFocusIndicator);
}

/// A number rounded to a whole one, halves away from zero, as text ("-0" reads "0").
std::string wholeText(double value) {
    return fixedText(std::round(value) + 0.0, 0);
}

/// Where `offset` lies along `length`, 0...1; none on a field with no length.
std::optional<double> fractionAlong(double offset, double length) {
    if (!(length > 0) || !std::isfinite(offset)) {
        return std::nullopt;
    }
    return std::clamp(offset, 0.0, length) / length;
}

double clampHue(double hue) {
    return std::isfinite(hue) ? std::clamp(hue, 0.0, 360.0) : 0.0;
}

double clampSaturation(double saturation) {
    return std::isfinite(saturation) ? std::clamp(saturation, 0.0, 100.0) : 100.0;
}

/// Lower bound first, then the upper: a range given the wrong way round yields its maximum.
double clampMireds(double value, double minValue, double maxValue) {
    return std::min(std::max(value, minValue), maxValue);
}

}  // namespace

// The colour button.

InlineColorButtonView::InlineColorButtonView(Kind kind, Rect frame) : View(frame), kind_(kind) {
    setWantsLayer(true);
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::Button);
}

void InlineColorButtonView::performClick() {
    // The click may rebuild the row around the button; the menu must not close meanwhile.
    auto keep = weak_from_this().lock();
    MenuTrackingSuspension suspension;
    suspension.begin(stayOpenMenu);
    if (onClick) {
        onClick();
    }
}

void InlineColorButtonView::mouseDown(const Event&) {
    if (Window* w = window()) {
        w->makeFirstResponder(this);
    }
    performClick();
}

void InlineColorButtonView::keyDown(const Event& event) {
    const char first = event.characters.empty() ? '\0' : event.characters.front();
    if (first == ' ' || first == '\r' || first == '\x03' || event.keyCode == KeyCode::Space ||
        event.keyCode == KeyCode::Return || event.keyCode == KeyCode::Enter) {
        performClick();
        return;
    }
    View::keyDown(event);
}

bool InlineColorButtonView::becomeFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool InlineColorButtonView::resignFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool InlineColorButtonView::accessibilityPerformPress() {
    performClick();
    return true;
}

void InlineColorButtonView::draw(GraphicsContext& ctx, const Rect&) {
    const Rect circle = bounds().insetBy(1, 1);
    ctx.save();
    ctx.clip(Path::ellipse(circle));
    if (kind_ == Kind::temperature) {
        ctx.drawLinearGradient({{0.0, Color::calibratedRGB(0.35, 0.62, 1.0)},
                                {0.5, Color::white()},
                                {1.0, Color::calibratedRGB(1.0, 0.72, 0.34)}},
                               {circle.midX(), circle.minY()}, {circle.midX(), circle.maxY()});
    } else {
        const Point centre = circle.center();
        const double radius = std::min(circle.width(), circle.height()) / 2;
        for (int k = 0; k < kWheelSlices; ++k) {
            const double start = 2 * std::numbers::pi * k / kWheelSlices;
            // Each slice reaches a little under the next, so antialiased edges leave no seam.
            const double end = 2 * std::numbers::pi * (k + 1) / kWheelSlices + kSliceOverlap;
            Path slice;
            slice.moveTo(centre);
            slice.addArc(centre, radius, start, end, false);
            slice.close();
            ctx.fill(slice, Color::hsb(static_cast<double>(k) / kWheelSlices, 1, 1),
                     FillRule::NonZero);
        }
    }
    ctx.restore();
    ctx.strokeEllipse(circle, Color::white().withAlphaComponent(0.65), 1);
    if (window() && window()->firstResponder() == this) {
        ctx.strokeEllipse(bounds().insetBy(0.5, 0.5), focusRingColor(), 2);
    }
}

// What both pickers share.

InlinePickerView::InlinePickerView() : View(Rect({0, 0}, kNaturalSize)) {
    setAccessibilityElement(true);
    setAccessibilityRole(AccessibilityRole::Slider);
}

Rect InlinePickerView::fieldRect() const {
    const Rect b = bounds();
    return {b.minX() + kFieldInsetX, b.minY() + kFieldInsetY,
            std::max(0.0, b.width() - 2 * kFieldInsetX),
            std::max(0.0, b.height() - 2 * kFieldInsetY)};
}

Point InlinePickerView::localPoint(const Event& event) const {
    return convertFromView(event.locationInWindow, nullptr);
}

void InlinePickerView::mouseDown(const Event& event) {
    if (Window* w = window()) {
        w->makeFirstResponder(this);
    }
    suspension_.begin(stayOpenMenu);
    tracking_ = true;
    handlePoint(localPoint(event), false);
}

void InlinePickerView::mouseDragged(const Event& event) {
    if (tracking_) {
        handlePoint(localPoint(event), false);
    }
}

void InlinePickerView::mouseUp(const Event& event) {
    if (!tracking_) {
        return;
    }
    tracking_ = false;
    // The final report may relayout the row; the menu stays held until it is done.
    auto keep = weak_from_this().lock();
    handlePoint(localPoint(event), true);
    suspension_.end();
}

void InlinePickerView::viewDidMoveToWindow() {
    View::viewDidMoveToWindow();
    if (!window()) {
        tracking_ = false;
        suspension_.end();
    }
}

bool InlinePickerView::becomeFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool InlinePickerView::resignFirstResponder() {
    setNeedsDisplay();
    return true;
}

bool InlinePickerView::isFocused() const {
    return window() && window()->firstResponder() == this;
}

void InlinePickerView::drawOutlineAndMarker(GraphicsContext& ctx) const {
    const Rect field = fieldRect();
    ctx.strokeRoundedRect(field, kFieldRadius, Color::black().withAlphaComponent(0.25), 1);
    const Point centre = markerCenter();
    const Rect marker(centre.x - kMarkerDiameter / 2, centre.y - kMarkerDiameter / 2,
                      kMarkerDiameter, kMarkerDiameter);
    ctx.fillEllipse(marker, Color::black().withAlphaComponent(0.35));
    ctx.strokeEllipse(marker, Color::white(), 2);
    if (isFocused()) {
        ctx.strokeRoundedRect(field.insetBy(-2, -2), kFieldRadius + 2, focusRingColor(), 2);
    }
}

// The colour picker.

InlineColorPickerView::InlineColorPickerView(double hue, double saturation, ChangeHandler onChange)
    : onChange(std::move(onChange)), hue_(clampHue(hue)), saturation_(clampSaturation(saturation)) {
    setAccessibilityLabel("Color");
}

void InlineColorPickerView::setColor(double hue, double saturation) {
    hue_ = clampHue(hue);
    saturation_ = clampSaturation(saturation);
    setNeedsDisplay();
}

Point InlineColorPickerView::markerCenter() const {
    const Rect field = fieldRect();
    return {field.minX() + hue_ / 360 * field.width(),
            field.minY() + saturation_ / 100 * field.height()};
}

void InlineColorPickerView::handlePoint(Point point, bool isFinal) {
    const Rect field = fieldRect();
    // A field with no room keeps the value it has rather than dividing by nothing.
    if (auto f = fractionAlong(point.x - field.minX(), field.width())) {
        hue_ = *f * 360;
    }
    if (auto f = fractionAlong(point.y - field.minY(), field.height())) {
        saturation_ = *f * 100;
    }
    auto keep = weak_from_this().lock();
    if (onChange) {
        onChange(hue_, saturation_, isFinal);
    }
    setNeedsDisplay();
}

void InlineColorPickerView::changeByKey(double hue, double saturation) {
    hue_ = clampHue(hue);
    saturation_ = clampSaturation(saturation);
    auto keep = weak_from_this().lock();
    if (onChange) {
        onChange(hue_, saturation_, true);
    }
    postAccessibilityNotification(AccessibilityNotification::ValueChanged);
    setNeedsDisplay();
}

void InlineColorPickerView::keyDown(const Event& event) {
    const bool shift = (event.modifiers & ModifierShift) != 0;
    switch (event.keyCode) {
        case KeyCode::LeftArrow:
            changeByKey(hue_ - (shift ? 15 : 5), saturation_);
            return;
        case KeyCode::RightArrow:
            changeByKey(hue_ + (shift ? 15 : 5), saturation_);
            return;
        case KeyCode::UpArrow:
            changeByKey(hue_, saturation_ + (shift ? 10 : 5));
            return;
        case KeyCode::DownArrow:
            changeByKey(hue_, saturation_ - (shift ? 10 : 5));
            return;
        case KeyCode::Home:
            changeByKey(0, saturation_);
            return;
        case KeyCode::End:
            changeByKey(360, saturation_);
            return;
        default:
            View::keyDown(event);
    }
}

AccessibilityValue InlineColorPickerView::accessibilityValue() const {
    return wholeText(hue_) + " degrees hue, " + wholeText(saturation_) + " percent saturation";
}

bool InlineColorPickerView::accessibilityPerformIncrement() {
    changeByKey(hue_ + 5, saturation_);
    return true;
}

bool InlineColorPickerView::accessibilityPerformDecrement() {
    changeByKey(hue_ - 5, saturation_);
    return true;
}

ImagePtr InlineColorPickerView::makeGradient(int width, int height) {
    if (width < 2 || height < 2) {
        return nullptr;
    }
    BitmapRep rep;
    rep.pixelsWide = width;
    rep.pixelsHigh = height;
    rep.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    auto byte = [](double component) {
        return static_cast<std::uint8_t>(std::clamp(component, 0.0, 1.0) * 255);
    };
    for (int row = 0; row < height; ++row) {
        // Rows run from the top; saturation grows upwards.
        const int t = height - 1 - row;
        const double saturation = static_cast<double>(t) / (height - 1);
        for (int i = 0; i < width; ++i) {
            const Color c = Color::hsb(static_cast<double>(i) / (width - 1), saturation, 1);
            std::uint8_t* px =
                &rep.pixels[(static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                             static_cast<std::size_t>(i)) *
                            4];
            px[0] = byte(c.redComponent());
            px[1] = byte(c.greenComponent());
            px[2] = byte(c.blueComponent());
            px[3] = 255;
        }
    }
    return Image::withBitmap(std::move(rep), Size{double(width), double(height)});
}

void InlineColorPickerView::draw(GraphicsContext& ctx, const Rect&) {
    const Rect field = fieldRect();
    if (!cachedGradient_) {
        // Built once, at the field's first size; later draws only scale it.
        cachedGradient_ =
            makeGradient(static_cast<int>(field.width()), static_cast<int>(field.height()));
    }
    if (cachedGradient_) {
        ctx.save();
        ctx.clip(Path::roundedRect(field, kFieldRadius, kFieldRadius));
        ctx.drawImage(*cachedGradient_, field);
        ctx.restore();
    }
    drawOutlineAndMarker(ctx);
}

// The temperature picker.

InlineTemperaturePickerView::InlineTemperaturePickerView(double value, double minValue,
                                                         double maxValue, ChangeHandler onChange)
    : onChange(std::move(onChange)),
      value_(clampMireds(std::isfinite(value) ? value : (minValue + maxValue) / 2, minValue,
                         maxValue)),
      minValue_(minValue),
      maxValue_(maxValue) {
    setAccessibilityLabel("Color temperature");
}

void InlineTemperaturePickerView::setValue(double value) {
    if (std::isfinite(value)) {
        value_ = clampMireds(value, minValue_, maxValue_);
        setNeedsDisplay();
    }
}

Point InlineTemperaturePickerView::markerCenter() const {
    const Rect field = fieldRect();
    const double span = maxValue_ - minValue_;
    const double f = span > 0 ? (maxValue_ - value_) / span : 0.5;
    return {field.minX() + f * field.width(), field.midY()};
}

void InlineTemperaturePickerView::handlePoint(Point point, bool isFinal) {
    const Rect field = fieldRect();
    const double span = maxValue_ - minValue_;
    if (!(span > 0)) {
        // One value (or a range the wrong way round): every point means the maximum.
        value_ = maxValue_;
    } else if (auto f = fractionAlong(point.x - field.minX(), field.width())) {
        value_ = maxValue_ - *f * span;
    }
    auto keep = weak_from_this().lock();
    if (isFinal && onChange) {
        onChange(value_);
    }
    setNeedsDisplay();
}

void InlineTemperaturePickerView::changeByKey(double value) {
    value_ = clampMireds(value, minValue_, maxValue_);
    auto keep = weak_from_this().lock();
    if (onChange) {
        onChange(value_);
    }
    postAccessibilityNotification(AccessibilityNotification::ValueChanged);
    setNeedsDisplay();
}

void InlineTemperaturePickerView::keyDown(const Event& event) {
    const double step = (event.modifiers & ModifierShift) != 0 ? 25 : 10;
    switch (event.keyCode) {
        case KeyCode::LeftArrow:
        case KeyCode::DownArrow:
            changeByKey(value_ + step);
            return;
        case KeyCode::RightArrow:
        case KeyCode::UpArrow:
            changeByKey(value_ - step);
            return;
        case KeyCode::Home:
            changeByKey(maxValue_);
            return;
        case KeyCode::End:
            changeByKey(minValue_);
            return;
        default:
            View::keyDown(event);
    }
}

AccessibilityValue InlineTemperaturePickerView::accessibilityValue() const {
    return wholeText(value_) + " mireds";
}

bool InlineTemperaturePickerView::accessibilityPerformIncrement() {
    changeByKey(value_ - 10);
    return true;
}

bool InlineTemperaturePickerView::accessibilityPerformDecrement() {
    changeByKey(value_ + 10);
    return true;
}

void InlineTemperaturePickerView::draw(GraphicsContext& ctx, const Rect&) {
    const Rect field = fieldRect();
    ctx.save();
    ctx.clip(Path::roundedRect(field, kFieldRadius, kFieldRadius));
    ctx.drawLinearGradient({{0.0, Color::calibratedRGB(1.0, 0.62, 0.24)},
                            {0.5, Color::calibratedRGB(1.0, 0.94, 0.78)},
                            {1.0, Color::calibratedRGB(0.84, 0.91, 1.0)}},
                           {field.minX(), field.midY()}, {field.maxX(), field.midY()});
    ctx.restore();
    drawOutlineAndMarker(ctx);
}

}  // namespace corvix

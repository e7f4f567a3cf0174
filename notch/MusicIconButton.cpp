#include "notch/MusicIconButton.h"

#include "notch/NotchColors.h"
#include "platform/PlatformServices.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/Transaction.h"

namespace corvix {

MusicIconButton::MusicIconButton(std::string symbol, Rect frame, bool primary,
                                 std::optional<Color> accent)
    : Button(frame), isPrimary_(primary), symbolName_(std::move(symbol)) {
    if (accent) {
        accentColor_ = *accent;
    }
    setWantsLayer(true);
    setBordered(false);
    setImagePosition(ImagePosition::ImageOnly);
    setImageScaling(ImageScaling::ProportionallyUpOrDown);
    layer()->setMasksToBounds(true);
    followSize();
    rebuildSymbol();
    refresh();
}

void MusicIconButton::setAccentColor(const Color& color) {
    accentColor_ = color;
    refresh();
}

void MusicIconButton::setPrimary(bool primary) {
    isPrimary_ = primary;
    rebuildSymbol();
    refresh();
}

void MusicIconButton::setSymbolPointSize(double size) {
    symbolPointSize_ = size;
    rebuildSymbol();
}

void MusicIconButton::setSymbol(std::string name) {
    symbolName_ = std::move(name);
    rebuildSymbol();
}

void MusicIconButton::setEnabled(bool enabled) {
    Button::setEnabled(enabled);
    refresh();
}

void MusicIconButton::setFrameSize(Size size) {
    Button::setFrameSize(size);
    followSize();
}

void MusicIconButton::followSize() {
    const double radius = frame().height() / 2;
    layer()->setCornerRadius(radius);
}

void MusicIconButton::rebuildSymbol() {
    ImagePtr symbol = systemSymbolImage(symbolName_, symbolName_);
    if (!symbol) {
        return;  // an unknown name keeps the picture it had
    }
    if (ImagePtr configured =
            withSymbolConfiguration(symbol, symbolPointSize_, FontWeight::Semibold)) {
        symbol = std::move(configured);
    }
    symbol->setTemplate(true);
    setImage(symbol);
    setContentTintColor(isPrimary_ ? Color::white() : notchLabelColor());
}

void MusicIconButton::refresh() {
    const AppearanceService* appearance = platformServices().appearance;
    const bool dark =
        appearance ? appearance->isDark() : Color::currentScheme() == ColorScheme::Dark;
    if (isPrimary_) {
        layer()->setBackgroundColor(accentColor_);
    } else {
        const Color base = dark ? Color::white() : Color::black();
        layer()->setBackgroundColor(base.withAlphaComponent(isHovering_ ? 0.16 : 0.07));
    }
    layer()->setOpacity(isEnabled() ? 1 : kDisabledOpacity);
}

void MusicIconButton::updateTrackingAreas() {
    replaceHoverTrackingArea(trackingArea_, visibleRect());
}

void MusicIconButton::mouseEntered(const Event&) {
    isHovering_ = true;
    animateScale(kHoverScale);
    refresh();
}

void MusicIconButton::mouseExited(const Event&) {
    isHovering_ = false;
    animateScale(1.0);
    refresh();
}

void MusicIconButton::mouseDown(const Event& event) {
    animateScale(kPressedScale);
    Button::mouseDown(event);
}

void MusicIconButton::mouseUp(const Event& event) {
    Button::mouseUp(event);
    animateScale(isHovering_ ? kHoverScale : 1.0);
}

void MusicIconButton::animateScale(double scale) {
    Transaction::Scope scope;
    Transaction::setAnimationDuration(kScaleDuration);
    Transaction::setTimingFunction(TimingFunction::easeOut());
    layer()->setTransform({scale, scale, 1});
}

}  // namespace corvix

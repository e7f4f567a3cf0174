#include "notch/NotchCompactView.h"

#include <algorithm>

#include "controls/MusicAccent.h"
#include "notch/MusicSymbolImage.h"
#include "notch/NotchColors.h"

namespace corvix {

NotchCompactView::NotchCompactView(Rect frame) : View(frame) {
    setWantsLayer(true);
    vfx_ = std::make_shared<VisualEffectView>(bounds());
    vfx_->setBlendingMode(VisualEffectBlending::BehindWindow);
    vfx_->setMaterial(VisualEffectMaterial::HudWindow);
    vfx_->setWantsLayer(true);
    vfx_->layer()->setCornerRadius(16);
    vfx_->layer()->setMasksToBounds(true);
    addSubview(vfx_);

    artwork_ = std::make_shared<MusicArtworkView>(Rect(6, 6, 20, 20));
    artwork_->setAccentColor(musicAccentRed);
    artwork_->setFallback(musicSymbolImage("music.note", 16, FontWeight::Regular, Color::white()));
    addSubview(artwork_);

    titleLabel_ = TextField::label("");
    titleLabel_->setFont(Font::system(12, FontWeight::Medium));
    titleLabel_->setTextColor(notchLabelColor());
    titleLabel_->setTruncatesTail(true);
    titleLabel_->setFrame({32, 9, 155, 14});
    addSubview(titleLabel_);

    progressLayer_->setBackgroundColor(musicAccentRed);
    progressLayer_->setCornerRadius(1);
    progressLayer_->setOpacity(0.9);
    // On the material's layer: subviews draw over their superview's own sublayers.
    vfx_->layer()->addSublayer(progressLayer_);
    layout();
}

void NotchCompactView::setTrackTitle(std::string title) {
    titleLabel_->setStringValue(std::move(title));
}

void NotchCompactView::setArtworkImage(ImagePtr image) {
    artwork_->setImage(std::move(image));
}

void NotchCompactView::setProgressFraction(double fraction) {
    progressFraction_ = fraction;
    layout();
}

void NotchCompactView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void NotchCompactView::layout() {
    vfx_->setFrame(bounds());
    const double width =
        std::max(bounds().width() - 16, 0.0) * std::clamp(progressFraction_, 0.0, 1.0);
    progressLayer_->setFrame({8, 2, width, 2});
}

void NotchCompactView::updateTrackingAreas() {
    replaceHoverTrackingArea(trackingArea_, visibleRect());
}

void NotchCompactView::mouseEntered(const Event&) {
    isHovering_ = true;
    if (onHoverEnter) {
        onHoverEnter();
    }
}

void NotchCompactView::mouseExited(const Event&) {
    isHovering_ = false;
    if (onHoverExit) {
        onHoverExit();
    }
}

void NotchCompactView::mouseDown(const Event&) {
    if (onClick) {
        onClick();
    }
}

}  // namespace corvix

#pragma once

#include <functional>
#include <memory>
#include <string>

#include "controls/MusicArtworkView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/VisualEffectView.h"

namespace corvix {

/// The strip at the top of the screen: artwork, the track's text and a thin progress line.
class NotchCompactView : public View {
  public:
    explicit NotchCompactView(Rect frame = {});

    std::function<void()> onHoverEnter;
    std::function<void()> onHoverExit;
    std::function<void()> onClick;

    const std::string& trackTitle() const { return titleLabel_->stringValue(); }
    void setTrackTitle(std::string title);
    const ImagePtr& artworkImage() const { return artwork_->image(); }
    void setArtworkImage(ImagePtr image);
    double progressFraction() const { return progressFraction_; }
    void setProgressFraction(double fraction);
    bool isHovering() const { return isHovering_; }

    VisualEffectView& vfx() const { return *vfx_; }
    MusicArtworkView& artwork() const { return *artwork_; }
    TextField& titleLabel() const { return *titleLabel_; }
    Layer& progressLayer() const { return *progressLayer_; }

    void layout() override;
    void setFrameSize(Size size) override;
    void updateTrackingAreas() override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    void mouseDown(const Event& event) override;
    bool acceptsFirstMouse(const Event&) const override { return true; }

  private:
    std::shared_ptr<VisualEffectView> vfx_;
    std::shared_ptr<MusicArtworkView> artwork_;
    std::shared_ptr<TextField> titleLabel_;
    std::shared_ptr<Layer> progressLayer_ = std::make_shared<Layer>();
    bool isHovering_ = false;
    double progressFraction_ = 0;
    std::shared_ptr<TrackingArea> trackingArea_;
};

}  // namespace corvix

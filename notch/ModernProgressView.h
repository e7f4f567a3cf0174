#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "controls/MusicAccent.h"
#include "platform/ui/View.h"

namespace corvix {

/// A thin bar with a fill and a knob, used for seeking and for the volume. A click reports
/// its fraction once (on release); a drag reports every movement and the release when it
/// differs from the last value sent.
class ModernProgressView : public View {
  public:
    explicit ModernProgressView(Rect frame = {});

    const Color& accentColor() const { return accentColor_; }
    void setAccentColor(const Color& color);
    double progress() const { return progress_; }
    void setProgress(double progress);
    bool isEnabled() const { return isEnabled_; }
    void setEnabled(bool enabled);
    bool showsKnobOnHover() const { return showsKnobOnHover_; }
    void setShowsKnobOnHover(bool value) { showsKnobOnHover_ = value; }
    bool isHovering() const { return isHovering_; }
    bool isDragging() const { return isDragging_; }

    Layer& trackLayer() const { return *trackLayer_; }
    Layer& fillLayer() const { return *fillLayer_; }
    Layer& knobLayer() const { return *knobLayer_; }

    std::function<void(double)> onSeek;

    void layout() override;
    void setFrameSize(Size size) override;
    void updateTrackingAreas() override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    void mouseDown(const Event& event) override;
    void mouseDragged(const Event& event) override;
    void mouseUp(const Event& event) override;
    bool acceptsFirstMouse(const Event&) const override { return true; }

    static constexpr double kBarHeight = 4;
    static constexpr double kKnobSize = 14;
    static constexpr double kDisabledOpacity = 0.5;

  private:
    void updateFill();
    double pointerFraction(const Event& event) const;
    void setKnobVisible(bool visible);
    void send(double fraction);
    bool pointerInside(const Event& event) const;

    Color accentColor_ = musicAccentRed;
    double progress_ = 0;
    bool isEnabled_ = true;
    bool showsKnobOnHover_ = true;
    std::shared_ptr<Layer> trackLayer_ = std::make_shared<Layer>();
    std::shared_ptr<Layer> fillLayer_ = std::make_shared<Layer>();
    std::shared_ptr<Layer> knobLayer_ = std::make_shared<Layer>();
    bool isHovering_ = false;
    bool isDragging_ = false;
    std::optional<double> lastSent_;
    std::shared_ptr<TrackingArea> trackingArea_;
};

}  // namespace corvix

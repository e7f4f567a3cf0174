#pragma once

#include <memory>
#include <optional>
#include <string>

#include "controls/MusicAccent.h"
#include "platform/ui/Button.h"

namespace corvix {

/// A round symbol button of the player card: a hover background, a press and hover scale, an
/// accent background when primary, and 0.35 opacity when disabled.
class MusicIconButton : public Button {
  public:
    MusicIconButton(std::string symbol, Rect frame, bool primary,
                    std::optional<Color> accent = std::nullopt);

    const Color& accentColor() const { return accentColor_; }
    void setAccentColor(const Color& color);
    bool isPrimary() const { return isPrimary_; }
    void setPrimary(bool primary);
    double symbolPointSize() const { return symbolPointSize_; }
    void setSymbolPointSize(double size);
    const std::string& symbolName() const { return symbolName_; }
    void setSymbol(std::string name);
    bool isHovering() const { return isHovering_; }
    /// The round background: the button's own layer, so it stays beneath the symbol.
    Layer* bgLayer() const { return layer(); }

    void setEnabled(bool enabled) override;
    void setFrameSize(Size size) override;
    void updateTrackingAreas() override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    void mouseDown(const Event& event) override;
    void mouseUp(const Event& event) override;

    static constexpr double kPressedScale = 0.88;
    static constexpr double kHoverScale = 1.07;
    static constexpr double kScaleDuration = 0.15;
    static constexpr double kDisabledOpacity = 0.35;

  private:
    void rebuildSymbol();
    void refresh();
    void animateScale(double scale);
    void followSize();

    Color accentColor_ = musicAccentRed;
    bool isPrimary_ = false;
    double symbolPointSize_ = 14;
    std::string symbolName_;
    bool isHovering_ = false;
    std::shared_ptr<TrackingArea> trackingArea_;
};

}  // namespace corvix

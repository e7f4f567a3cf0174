#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/MusicArtworkView.h"
#include "notch/DotMatrixEqualizerView.h"
#include "notch/ModernProgressView.h"
#include "notch/MusicIconButton.h"
#include "platform/Json.h"
#include "platform/Lifetime.h"
#include "platform/ui/Button.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/VisualEffectView.h"

namespace corvix {

/// The expanded player card (340 × 176): artwork with a source badge, texts, transport, seek
/// and volume bars and the equalizer; when stopped, four source launchers instead.
class PlayerCardView : public View {
  public:
    struct Playing {
        std::string title;
        std::string artist;
        ImagePtr artwork;
        bool isPlaying = false;
        std::string serviceKey;
        bool canSeek = true;
        bool canSetVolume = true;
        std::string positionText;
        std::string durationText;
        double progressFraction = 0;
        double volumeFraction = 0;
        Color accent;
    };

    /// One source launcher of the stopped card.
    struct Launcher {
        const char* key;
        const char* symbol;
        Color color;
    };
    static const std::vector<Launcher>& launchers();
    /// The badge's colour, symbol and symbol size for a service key.
    struct Badge {
        Color color;
        const char* symbol;
        double symbolSize;
    };
    static Badge badgeFor(std::string_view serviceKey);

    explicit PlayerCardView(Rect frame = {0, 0, 340, 176});

    std::function<void()> onPrevious, onPlayPause, onNext;
    std::function<void(double)> onSeek, onVolume;
    std::function<void(const std::string&)> onSelectPlayer;
    std::function<void()> onHoverEnter, onHoverExit, onUserInteraction;

    void configurePlaying(const Playing& playing);
    void configureStopped(const std::vector<const json::object*>& players);
    bool isStoppedMode() const { return isStoppedMode_; }

    MusicArtworkView& artwork() const { return *artwork_; }
    View& sourceBadgeView() const { return *sourceBadgeView_; }
    ImageView& sourceIconView() const { return *sourceIconView_; }
    TextField& titleLabel() const { return *titleLabel_; }
    TextField& artistLabel() const { return *artistLabel_; }
    MusicIconButton& prevButton() const { return *prevButton_; }
    MusicIconButton& playButton() const { return *playButton_; }
    MusicIconButton& nextButton() const { return *nextButton_; }
    ModernProgressView& progress() const { return *progress_; }
    TextField& positionLabel() const { return *positionLabel_; }
    TextField& durationLabel() const { return *durationLabel_; }
    ImageView& volumeIcon() const { return *volumeIcon_; }
    ModernProgressView& volume() const { return *volume_; }
    DotMatrixEqualizerView& equalizer() const { return *equalizer_; }
    View& stoppedContainer() const { return *stoppedContainer_; }
    TextField& stoppedLabel() const { return *stoppedLabel_; }
    const std::vector<std::shared_ptr<Button>>& launcherButtons() const { return launcherButtons_; }

    void layout() override;
    void setFrameSize(Size size) override;
    void updateTrackingAreas() override;
    void mouseEntered(const Event& event) override;
    void mouseExited(const Event& event) override;
    bool acceptsFirstMouse(const Event&) const override { return true; }

  private:
    void updateSourceBadge(std::string_view serviceKey);
    /// A closure that reports the interaction, then runs `then` on the card, while it exists.
    std::function<void()> interaction(std::function<void(PlayerCardView&)> then);

    std::shared_ptr<VisualEffectView> vfx_;
    std::shared_ptr<MusicArtworkView> artwork_;
    std::shared_ptr<View> sourceBadgeView_;
    std::shared_ptr<ImageView> sourceIconView_;
    std::shared_ptr<TextField> titleLabel_, artistLabel_;
    std::shared_ptr<MusicIconButton> prevButton_, playButton_, nextButton_;
    std::shared_ptr<ModernProgressView> progress_;
    std::shared_ptr<TextField> positionLabel_, durationLabel_;
    std::shared_ptr<ImageView> volumeIcon_;
    std::shared_ptr<ModernProgressView> volume_;
    std::shared_ptr<DotMatrixEqualizerView> equalizer_;
    std::shared_ptr<View> stoppedContainer_;
    std::shared_ptr<TextField> stoppedLabel_;
    std::vector<std::shared_ptr<Button>> launcherButtons_;
    std::vector<std::shared_ptr<ButtonTarget>> launcherTargets_;
    std::vector<std::shared_ptr<ButtonTarget>> buttonTargets_;
    bool isStoppedMode_ = false;
    std::shared_ptr<TrackingArea> trackingArea_;
    Lifetime lifetime_;
};

}  // namespace corvix

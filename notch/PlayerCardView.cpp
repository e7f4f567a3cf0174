#include "notch/PlayerCardView.h"

#include <algorithm>
#include <cctype>

#include "controls/MusicAccent.h"
#include "notch/MusicSymbolImage.h"
#include "notch/NotchColors.h"
#include "platform/AsciiText.h"

namespace corvix {

namespace {
constexpr Color kSpotifyGreen = Color::calibratedRGB(0.11, 0.73, 0.33);
constexpr Color kYouTubeRed = Color::calibratedRGB(0.9, 0.08, 0.08);

std::string upper(std::string_view text) {
    return asciiUppercased(text);
}

std::shared_ptr<TextField> makeLabel(std::string text, Font font, Color color) {
    auto label = TextField::label(std::move(text));
    label->setFont(font);
    label->setTextColor(color);
    return label;
}
}  // namespace

const std::vector<PlayerCardView::Launcher>& PlayerCardView::launchers() {
    static const std::vector<Launcher> list = {
        {"APPLE", "music.note", Color::system(SystemColor::Red)},
        {"SPOTIFY", "wave.3.right", kSpotifyGreen},
        {"YOUTUBE", "play.fill", kYouTubeRed},
        {"LOCAL", "speaker.wave.2.fill", Color::system(SystemColor::Gray)},
    };
    return list;
}

PlayerCardView::Badge PlayerCardView::badgeFor(std::string_view serviceKey) {
    const std::string key = upper(serviceKey);
    if (key.find("SPOTIFY") != std::string::npos) {
        return {kSpotifyGreen, "wave.3.right", 10};
    }
    if (key.find("APPLE") != std::string::npos) {
        return {Color::system(SystemColor::Red), "music.note", 10};
    }
    if (key.find("YOUTUBE") != std::string::npos) {
        return {kYouTubeRed, "play.fill", 8};
    }
    return {Color::system(SystemColor::Gray), "speaker.wave.2.fill", 8};
}

std::function<void()> PlayerCardView::interaction(std::function<void(PlayerCardView&)> then) {
    return [weak = lifetime_.weak(), this, then = std::move(then)] {
        if (weak.expired()) {
            return;
        }
        if (onUserInteraction) {
            onUserInteraction();
        }
        if (then) {
            then(*this);
        }
    };
}

PlayerCardView::PlayerCardView(Rect frame) : View(frame) {
    const Color secondary = notchSecondaryLabelColor();
    setWantsLayer(true);
    vfx_ = std::make_shared<VisualEffectView>(bounds());
    vfx_->setBlendingMode(VisualEffectBlending::BehindWindow);
    vfx_->setMaterial(VisualEffectMaterial::HudWindow);
    vfx_->setWantsLayer(true);
    vfx_->layer()->setCornerRadius(18);
    vfx_->layer()->setMasksToBounds(true);
    addSubview(vfx_);

    artwork_ = std::make_shared<MusicArtworkView>();
    artwork_->setAccentColor(musicAccentRed);
    artwork_->setFallback(musicSymbolImage("music.note", 20, FontWeight::Regular, Color::white()));
    addSubview(artwork_);

    sourceBadgeView_ = std::make_shared<View>();
    sourceBadgeView_->setWantsLayer(true);
    sourceBadgeView_->layer()->setCornerRadius(10);
    sourceBadgeView_->layer()->setMasksToBounds(true);
    sourceIconView_ = std::make_shared<ImageView>();
    sourceIconView_->setContentTintColor(Color::white());
    sourceBadgeView_->addSubview(sourceIconView_);
    addSubview(sourceBadgeView_);

    titleLabel_ = makeLabel("", Font::system(14, FontWeight::Semibold), notchLabelColor());
    artistLabel_ = makeLabel("", Font::system(11), secondary);
    addSubview(titleLabel_);
    addSubview(artistLabel_);

    prevButton_ = std::make_shared<MusicIconButton>("backward.end.fill", Rect{}, false);
    playButton_ = std::make_shared<MusicIconButton>("play.fill", Rect{}, true);
    nextButton_ = std::make_shared<MusicIconButton>("forward.end.fill", Rect{}, false);
    prevButton_->setSymbolPointSize(13);
    playButton_->setSymbolPointSize(16);
    nextButton_->setSymbolPointSize(13);
    const std::pair<MusicIconButton*, std::function<void(PlayerCardView&)>> transport[] = {
        {prevButton_.get(),
         [](PlayerCardView& c) {
             if (c.onPrevious)
                 c.onPrevious();
         }},
        {playButton_.get(),
         [](PlayerCardView& c) {
             if (c.onPlayPause)
                 c.onPlayPause();
         }},
        {nextButton_.get(),
         [](PlayerCardView& c) {
             if (c.onNext)
                 c.onNext();
         }},
    };
    for (const auto& [button, action] : transport) {
        auto target = ButtonTarget::make(interaction(action));
        button->setTarget(target);
        buttonTargets_.push_back(target);
    }
    addSubview(prevButton_);
    addSubview(playButton_);
    addSubview(nextButton_);

    progress_ = std::make_shared<ModernProgressView>();
    progress_->onSeek = [weak = lifetime_.weak(), this](double fraction) {
        if (weak.expired()) {
            return;
        }
        if (onUserInteraction) {
            onUserInteraction();
        }
        if (onSeek) {
            onSeek(fraction);
        }
    };
    addSubview(progress_);

    positionLabel_ = makeLabel("0:00", Font::system(10), secondary);
    durationLabel_ = makeLabel("0:00", Font::system(10), secondary);
    durationLabel_->setAlignment(TextAlignment::Right);
    addSubview(positionLabel_);
    addSubview(durationLabel_);

    volumeIcon_ = std::make_shared<ImageView>();
    volumeIcon_->setImage(
        musicSymbolImage("speaker.wave.2.fill", 11, FontWeight::Regular, secondary));
    volumeIcon_->setContentTintColor(secondary);
    addSubview(volumeIcon_);

    volume_ = std::make_shared<ModernProgressView>();
    volume_->onSeek = [weak = lifetime_.weak(), this](double fraction) {
        if (weak.expired()) {
            return;
        }
        if (onUserInteraction) {
            onUserInteraction();
        }
        if (onVolume) {
            onVolume(fraction);
        }
    };
    addSubview(volume_);

    equalizer_ = std::make_shared<DotMatrixEqualizerView>(Rect(0, 0, 30, 20));
    addSubview(equalizer_);

    stoppedContainer_ = std::make_shared<View>();
    stoppedContainer_->setWantsLayer(true);
    stoppedLabel_ =
        makeLabel("Music stopped.", Font::system(14, FontWeight::Semibold), notchLabelColor());
    stoppedLabel_->setAlignment(TextAlignment::Center);
    stoppedLabel_->setFrame({0, 56, 190, 20});
    stoppedContainer_->addSubview(stoppedLabel_);

    const auto& list = launchers();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Launcher& launcher = list[i];
        auto button = std::make_shared<Button>(Rect(8 + 44.0 * i, 12, 32, 32));
        button->setWantsLayer(true);
        button->setBordered(false);
        button->layer()->setCornerRadius(16);
        button->layer()->setBackgroundColor(launcher.color);
        button->setImage(musicSymbolImage(launcher.symbol, 11, FontWeight::Bold, Color::white()));
        button->setImagePosition(ImagePosition::ImageOnly);
        button->setAccessibilityLabel(launcher.key);
        const std::string key = launcher.key;
        auto target = ButtonTarget::make(interaction([key](PlayerCardView& card) {
            if (card.onSelectPlayer) {
                card.onSelectPlayer(key);
            }
        }));
        button->setTarget(target);
        launcherTargets_.push_back(target);
        launcherButtons_.push_back(button);
        stoppedContainer_->addSubview(button);
    }
    addSubview(stoppedContainer_);
    layout();
}

void PlayerCardView::configurePlaying(const Playing& p) {
    isStoppedMode_ = false;
    layout();
    titleLabel_->setStringValue(p.title);
    artistLabel_->setStringValue(p.artist);
    artwork_->setImage(p.artwork);
    artwork_->setAccentColor(p.accent);
    playButton_->setSymbol(p.isPlaying ? "pause.fill" : "play.fill");
    playButton_->setAccentColor(p.accent);
    progress_->setAccentColor(p.accent);
    progress_->setEnabled(p.canSeek);
    progress_->setProgress(p.progressFraction);
    volume_->setAccentColor(p.accent);
    volume_->setEnabled(p.canSetVolume);
    volume_->setProgress(p.volumeFraction);
    positionLabel_->setStringValue(p.positionText);
    durationLabel_->setStringValue(p.durationText);
    equalizer_->setPlaying(p.isPlaying);
    updateSourceBadge(p.serviceKey);
}

void PlayerCardView::configureStopped(const std::vector<const json::object*>&) {
    isStoppedMode_ = true;
    artwork_->setImage(nullptr);
    equalizer_->setPlaying(false);
    layout();
}

void PlayerCardView::updateSourceBadge(std::string_view serviceKey) {
    sourceBadgeView_->setHidden(false);
    const Badge badge = badgeFor(serviceKey);
    sourceBadgeView_->layer()->setBackgroundColor(badge.color);
    sourceIconView_->setImage(
        musicSymbolImage(badge.symbol, badge.symbolSize, FontWeight::Bold, Color::white()));
}

void PlayerCardView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layout();
}

void PlayerCardView::layout() {
    vfx_->setFrame(bounds());
    View* playingControls[] = {titleLabel_.get(),    artistLabel_.get(),   prevButton_.get(),
                               playButton_.get(),    nextButton_.get(),    progress_.get(),
                               positionLabel_.get(), durationLabel_.get(), volumeIcon_.get(),
                               volume_.get(),        equalizer_.get()};
    if (isStoppedMode_) {
        artwork_->setFrame({16, 38, 100, 100});
        sourceBadgeView_->setHidden(true);
        stoppedContainer_->setFrame({132, 38, 192, 100});
        stoppedContainer_->setHidden(false);
        for (View* view : playingControls) {
            view->setHidden(true);
        }
        return;
    }
    artwork_->setFrame({16, 52, 100, 100});
    sourceBadgeView_->setFrame({94, 54, 20, 20});
    sourceIconView_->setFrame({5, 5, 10, 10});
    titleLabel_->setFrame({132, 128, 144, 20});
    artistLabel_->setFrame({132, 110, 144, 16});
    equalizer_->setFrame({294, 122, 30, 20});
    positionLabel_->setFrame({132, 84, 30, 12});
    progress_->setFrame({166, 86, 122, 8});
    durationLabel_->setFrame({292, 84, 32, 12});
    volumeIcon_->setFrame({16, 16, 14, 14});
    volume_->setFrame({36, 19, 80, 8});
    prevButton_->setFrame({168, 22, 32, 32});
    playButton_->setFrame({208, 16, 44, 44});
    nextButton_->setFrame({260, 22, 32, 32});
    for (View* view : playingControls) {
        view->setHidden(false);
    }
    stoppedContainer_->setHidden(true);
}

void PlayerCardView::updateTrackingAreas() {
    replaceHoverTrackingArea(trackingArea_, visibleRect());
}

void PlayerCardView::mouseEntered(const Event&) {
    if (onHoverEnter) {
        onHoverEnter();
    }
}

void PlayerCardView::mouseExited(const Event&) {
    if (onHoverExit) {
        onHoverExit();
    }
}

}  // namespace corvix

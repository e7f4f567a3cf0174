#include "notch/NotchPlayerController.h"

#include <algorithm>
#include <cctype>

#include "app/RuntimeDiagnostics.h"
#include "controls/MusicAccent.h"
#include "hub/OrbeluneClient.h"
#include "platform/AsciiText.h"
#include "platform/PlatformServices.h"
#include "state/MusicPlayer.h"

namespace corvix {

namespace {

RuntimeDiagnostics& diagnostics() {
    return RuntimeDiagnostics::menuBar();
}

std::string lowered(std::string text) {
    return asciiLowercased(text);
}

std::string uppered(std::string text) {
    return asciiUppercased(text);
}

bool playerIsPlaying(const JsonObject& player) {
    return lowered(string(player, "playback")) == "playing";
}

/// "durationMs", with absent or negative read as 0.
double durationMs(const JsonObject& player) {
    const double d = optionalDouble(player, "durationMs").value_or(0);
    return d > 0 ? d : 0;
}

}  // namespace

NotchPlayerController::NotchPlayerController(const OrbeluneClient& client, OrderedSends& sends)
    : client_(client), sends_(sends), artwork_(client, [this] {
          // The loader dies with the controller, so `this` is alive whenever it calls.
          refreshContent();
      }) {
    window_ = std::make_shared<Window>(Rect({0, 0}, kCompactSize),
                                       WindowStyleBorderless | WindowStyleNonactivatingPanel);
    window_->setOpaque(false);
    window_->setBackgroundColor(Color::clear());
    window_->setHasShadow(true);
    window_->setLevel(WindowLevel::StatusBar);
    window_->setCanJoinAllSpaces(true);
    window_->setIgnoresMouseEvents(false);
    container_ = std::make_shared<View>(Rect({0, 0}, kCompactSize));
    container_->setWantsLayer(true);
    window_->setContentView(container_);
    if (ScreenService* screens = platformServices().screens) {
        screensObserver_ = screens->onScreensChanged([weak = lifetime_.weak(), this] {
            if (!weak.expired()) {
                screensChanged();
            }
        });
    }
}

NotchPlayerController::~NotchPlayerController() {
    cancelTimer(hoverTimer_);
    cancelTimer(collapseTimer_);
    cancelTimer(progressTimer_);
    artwork_.cancelArtworkTasks({});
    screensObserver_ = {};
    window_->orderOut();
}

void NotchPlayerController::cancelTimer(std::optional<Timer>& timer) {
    if (timer) {
        timer->cancel();
        timer.reset();
    }
}

bool NotchPlayerController::isPlaying() const {
    return player_ && playerIsPlaying(*player_);
}

void NotchPlayerController::update(const JsonObject& state) {
    const WindowSystem* windows = platformServices().windows;
    if (!corvixSectionEnabled(corvixNotchEnabledKey) ||
        (windows && !windows->canPlaceFloatingWindows())) {
        hide();
        return;
    }
    const JsonObject* music = objectMember(state, "musicPlayer");
    if (!music || !bool_(*music, "available", false)) {
        hide();
        return;
    }
    players_.clear();
    for (const JsonObject* p : array(*music, "players")) {
        players_.push_back(*p);
    }
    const JsonObject* active = objectMember(*music, "activePlayer");
    player_ = active ? std::optional<JsonObject>(*active) : std::nullopt;
    if (player_) {
        artwork_.loadArtwork(*player_);
    }
    if (state_ != State::hidden) {
        refreshContent();
        return;
    }
    state_ = State::compact;
    showCompactView();
    applyFrame(State::compact, false);
    window_->orderFront();
    diagnostics().gauge("notch_visible", 1);
    refreshContent();
    reevaluatePointer();
}

void NotchPlayerController::hide() {
    if (state_ == State::hidden) {
        return;
    }
    state_ = State::hidden;
    cancelTimer(hoverTimer_);
    cancelTimer(collapseTimer_);
    cancelTimer(progressTimer_);
    diagnostics().gauge("notch_progress_timer_active", 0);
    diagnostics().gauge("notch_visible", 0);
    window_->orderOut();
}

void NotchPlayerController::showCompactView() {
    if (!compactView_) {
        compactView_ = std::make_shared<NotchCompactView>(container_->bounds());
        compactView_->setAutoresizingMask(AutoresizeWidthSizable | AutoresizeHeightSizable);
        compactView_->onHoverEnter = [weak = lifetime_.weak(), this] {
            if (weak.expired()) {
                return;
            }
            cancelTimer(hoverTimer_);
            if (RunLoop* loop = platformServices().runLoop) {
                hoverTimer_ = loop->after(kHoverDelay, [weak, this] {
                    if (!weak.expired()) {
                        expand();
                    }
                });
            }
        };
        compactView_->onHoverExit = [weak = lifetime_.weak(), this] {
            if (!weak.expired()) {
                cancelTimer(hoverTimer_);
            }
        };
        compactView_->onClick = [weak = lifetime_.weak(), this] {
            if (!weak.expired()) {
                cancelTimer(hoverTimer_);
                expand();
            }
        };
    }
    showInContainer(compactView_);
}

void NotchPlayerController::showExpandedView() {
    if (!expandedView_) {
        expandedView_ = std::make_shared<PlayerCardView>(Rect({0, 0}, kExpandedSize));
        auto weak = lifetime_.weak();
        auto guarded = [weak, this](auto action) {
            return [weak, this, action](auto... args) {
                if (!weak.expired()) {
                    action(args...);
                }
            };
        };
        PlayerCardView& card = *expandedView_;
        card.onPrevious = guarded([this] { sendCommand("previous", {}); });
        card.onPlayPause = guarded([this] { sendCommand(isPlaying() ? "pause" : "resume", {}); });
        card.onNext = guarded([this] { sendCommand("next", {}); });
        card.onSeek = guarded([this](double fraction) {
            if (player_) {
                sendSequenced(kSeekControl, "seek",
                              JsonObject{{"positionMs", fraction * durationMs(*player_)}});
            }
        });
        card.onVolume = guarded([this](double fraction) {
            sendSequenced(kVolumeControl, "setVolume", JsonObject{{"volume", fraction * 100}});
        });
        card.onHoverEnter = guarded([this] {
            pointerOnCard_ = true;
            cancelTimer(collapseTimer_);
        });
        card.onHoverExit = guarded([this] {
            pointerOnCard_ = false;
            restartCollapseTimer();
        });
        // A pointer resting on the card keeps it open, clicks or not; leaving starts the count.
        card.onUserInteraction = guarded([this] {
            if (!pointerOnCard_) {
                restartCollapseTimer();
            }
        });
        card.onSelectPlayer = guarded([this](const std::string& key) { launchSource(key); });
    }
    showInContainer(expandedView_);
    restartCollapseTimer();
}

void NotchPlayerController::showInContainer(const std::shared_ptr<View>& view) {
    const auto subviews = container_->subviews();
    for (const auto& subview : subviews) {
        subview->removeFromSuperview();
    }
    view->setFrame(container_->bounds());
    view->setAutoresizingMask(AutoresizeWidthSizable | AutoresizeHeightSizable);
    view->layer()->setOpacity(0);
    container_->addSubview(view);
    Transaction::Scope scope;
    Transaction::setAnimationDuration(0.2);
    view->layer()->setOpacity(1);
}

void NotchPlayerController::restartCollapseTimer() {
    cancelTimer(collapseTimer_);
    if (RunLoop* loop = platformServices().runLoop) {
        collapseTimer_ = loop->after(kCollapseDelay, [weak = lifetime_.weak(), this] {
            if (!weak.expired()) {
                collapse();
            }
        });
    }
}

void NotchPlayerController::expand() {
    if (state_ == State::expanded || state_ == State::hidden) {
        return;  // a late hover timer must not bring back a hidden player
    }
    state_ = State::expanded;
    showExpandedView();
    applyFrame(State::expanded, true);
    diagnostics().gauge("notch_visible", 1);
    refreshContent();
    reevaluatePointer();
}

void NotchPlayerController::collapse() {
    if (state_ == State::compact) {
        return;
    }
    const State previous = state_;
    state_ = State::compact;
    showCompactView();
    applyFrame(State::compact, previous != State::hidden);
    if (previous == State::hidden) {
        window_->orderFront();
    }
    diagnostics().gauge("notch_visible", 1);
    refreshContent();
    reevaluatePointer();
}

void NotchPlayerController::reevaluatePointer() {
    const ScreenService* screens = platformServices().screens;
    if (!screens || !window_->isVisible()) {
        return;
    }
    const Point pointer = screens->mouseLocation();
    const Rect frame = window_->frame();
    Event moved;
    moved.type = EventType::MouseMoved;
    moved.locationInWindow = {pointer.x - frame.minX(), pointer.y - frame.minY()};
    if (RunLoop* loop = platformServices().runLoop) {
        moved.timestamp = loop->now();
    }
    window_->router().dispatch(moved);
}

bool NotchPlayerController::hasHousing(const Screen& screen) {
    // An inset alone (a rounded display corner, a virtual screen) says nothing about where a
    // housing would be; only both free areas beside it do.
    return screen.auxiliaryTopLeftArea.has_value() && screen.auxiliaryTopRightArea.has_value();
}

std::optional<Rect> NotchPlayerController::frameFor(State state,
                                                    const std::vector<Screen>& screens) {
    if (screens.empty()) {
        return std::nullopt;
    }
    const auto withHousing = std::find_if(screens.begin(), screens.end(), hasHousing);
    const Screen& screen = withHousing != screens.end() ? *withHousing : screens.front();
    const bool housing = hasHousing(screen);
    Size size = kCompactSize;
    if (state == State::expanded) {
        size = kExpandedSize;
    } else if (housing) {
        const double left = screen.auxiliaryTopLeftArea ? screen.auxiliaryTopLeftArea->width() : 0;
        const double right =
            screen.auxiliaryTopRightArea ? screen.auxiliaryTopRightArea->width() : 0;
        size = {std::max(screen.frame.width() - left - right, 180.0),
                std::max(screen.safeAreaTopInset, 24.0)};
    }
    double top = screen.frame.maxY();
    if (!housing) {
        top -= kTopMargin;
        // A desktop's top panel reserves the top of the screen; stay below it.
        if (screen.visibleFrame.height() > 0) {
            top = std::min(top, screen.visibleFrame.maxY());
        }
    }
    const double midX = screen.frame.minX() + screen.frame.width() / 2;
    return Rect(midX - size.width / 2, top - size.height, size.width, size.height);
}

void NotchPlayerController::applyFrame(State state, bool animated) {
    const ScreenService* screens = platformServices().screens;
    if (!screens) {
        return;
    }
    const std::optional<Rect> frame = frameFor(state, screens->screens());
    if (!frame) {
        return;
    }
    if (animated) {
        window_->setFrame(*frame, WindowAnimation{kFrameAnimationDuration, kFrameCurve});
    } else {
        window_->setFrame(*frame);
    }
}

void NotchPlayerController::screensChanged() {
    if (state_ != State::hidden) {
        applyFrame(state_, false);
    }
}

void NotchPlayerController::refreshContent() {
    const bool stopped =
        !player_ || (string(*player_, "title").empty() && string(*player_, "artist").empty());
    if (stopped) {
        if (state_ == State::expanded && expandedView_) {
            std::vector<const JsonObject*> list;
            for (const JsonObject& p : players_) {
                list.push_back(&p);
            }
            expandedView_->configureStopped(list);
        } else if (state_ == State::compact && compactView_) {
            compactView_->setTrackTitle("Music stopped");
            compactView_->setArtworkImage(nullptr);
            compactView_->setProgressFraction(0);
        }
    } else if (state_ == State::compact && compactView_) {
        const JsonObject& p = *player_;
        const std::string title = string(p, "title");
        const std::string artist = string(member(p, "artist"), string(p, "subtitle"));
        std::string text = title;
        if (title.empty()) {
            text = artist;
        } else if (!artist.empty()) {
            text += " \u2014 " + artist;
        }
        compactView_->setTrackTitle(text);
        compactView_->setArtworkImage(artwork_.artworkFor(p));
        compactView_->setProgressFraction(musicProgressFraction(p));
    } else if (state_ == State::expanded && expandedView_) {
        const JsonObject& p = *player_;
        PlayerCardView::Playing playing;
        playing.title = string(member(p, "title"), string(p, "label", "Music"));
        playing.artist =
            string(member(p, "artist"), string(member(p, "subtitle"), string(p, "label")));
        playing.artwork = artwork_.artworkFor(p);
        playing.isPlaying = playerIsPlaying(p);
        playing.serviceKey = string(p, "serviceKey");
        // Without a duration a seek has nothing to aim at and would jump to the start.
        playing.canSeek = musicCapability(p, "seek", true) && durationMs(p) > 0;
        playing.canSetVolume =
            musicCapability(p, "volume", optionalDouble(p, "volume").has_value());
        playing.positionText = formatDuration(musicPosition(p));
        playing.durationText = formatDuration(durationMs(p));
        playing.progressFraction = musicProgressFraction(p);
        const double volume = optionalDouble(p, "volume").value_or(0) / 100;
        playing.volumeFraction = volume < 0 ? 0 : std::min(volume, 1.0);
        playing.accent = musicAccentRed;
        expandedView_->configurePlaying(playing);
    }
    updateProgressTimer();
}

void NotchPlayerController::updateProgressTimer() {
    if (state_ != State::hidden && isPlaying()) {
        if (!progressTimer_) {
            if (RunLoop* loop = platformServices().runLoop) {
                progressTimer_ = loop->every(kProgressInterval, [weak = lifetime_.weak(), this] {
                    if (!weak.expired()) {
                        refreshContent();
                    }
                });
                diagnostics().gauge("notch_progress_timer_active", 1);
            }
        }
        return;
    }
    cancelTimer(progressTimer_);
    diagnostics().gauge("notch_progress_timer_active", 0);
}

void NotchPlayerController::sendCommand(const std::string& action, JsonObject payload) {
    if (!player_) {
        return;
    }
    // Results are not shown: the next state document tells the truth.
    client_.runMusicCommand(action, *player_, payload, [](Result<void>) {});
}

void NotchPlayerController::sendSequenced(const char* control, const std::string& action,
                                          JsonObject payload) {
    if (!player_) {
        return;
    }
    // Results are not shown: the next state document tells the truth. The value goes to the
    // player it was set on, even when the card shows another one by the time it leaves.
    OrderedSend value;
    value.operation = action;
    value.payload = std::move(payload);
    value.start = [weak = lifetime_.weak(), this, action, player = *player_,
                   payload = value.payload](OrderedSend::Done done) {
        if (weak.expired()) {
            return false;
        }
        client_.runMusicCommand(action, player, payload, std::move(done));
        return true;
    };
    sends_.send(SendKey{musicSendTarget(*player_), control}, std::move(value));
}

void NotchPlayerController::launchSource(const std::string& key) {
    const std::string wanted = uppered(key);
    const auto target = std::find_if(players_.begin(), players_.end(), [&](const JsonObject& p) {
        return uppered(string(p, "serviceKey")).find(wanted) != std::string::npos;
    });
    if (target == players_.end()) {
        return;
    }
    const JsonObject targetPlayer = *target;
    const JsonObject source = player_ ? *player_ : targetPlayer;
    const OrbeluneClient* client = &client_;
    // Resumes whether or not the transfer went through; neither result is shown.
    client_.runMusicTransfer(
        source, targetPlayer, [weak = lifetime_.weak(), client, targetPlayer](Result<void>) {
            if (weak.expired()) {
                return;
            }
            client->runMusicCommand("resume", targetPlayer, JsonObject{}, [](Result<void>) {});
        });
}

}  // namespace corvix

#include "playback/LocalAudioPlayer.h"

#include <algorithm>
#include <cmath>

#include "platform/PlatformServices.h"
#include "state/MusicPlayer.h"

namespace corvix {

namespace {

std::unique_ptr<LocalAudioPlayer>& sharedSlot() {
    static std::unique_ptr<LocalAudioPlayer> instance;
    return instance;
}

/// The built-in player that stands for this computer.
bool isLocalTarget(const JsonObject& active) {
    if (bool_(active, "localBrowserPlayback", false)) {
        return true;
    }
    return string(active, "targetId") == "orbelune_local_player" &&
           string(active, "targetType") == "built_in_player";
}

/// Only web streams are played: a state naming a file or another scheme is not obeyed.
bool isPlayableStream(const std::string& canonical) {
    const std::optional<Url> url = Url::parseAbsolute(canonical);
    return url && (url->scheme == "http" || url->scheme == "https") && url->authority &&
           !url->host().empty();
}

}  // namespace

LocalAudioPlayer& LocalAudioPlayer::shared() {
    auto& slot = sharedSlot();
    if (!slot) {
        slot = std::make_unique<LocalAudioPlayer>();
    }
    return *slot;
}

void LocalAudioPlayer::resetShared() {
    sharedSlot().reset();
}

std::string LocalAudioPlayer::canonicalAudioSrc(const std::string& src, const Url& baseURL) {
    if (const std::optional<Url> parsed = Url::parse(src); parsed && parsed->isAbsolute()) {
        return src;
    }
    if (const std::optional<Url> resolved = baseURL.resolve(src)) {
        return resolved->toString();
    }
    return src;
}

void LocalAudioPlayer::stop() {
    if (player_) {
        player_->pause();
        player_.reset();
    }
    currentStreamUrl_.reset();
    isPlaying_ = false;
    lastPositionMs_.reset();
    lastReportedPositionMs_.reset();
}

void LocalAudioPlayer::sync(const JsonObject& state, const Url& baseURL) {
    const JsonObject* music = objectMember(state, "musicPlayer");
    const JsonObject* active = music ? objectMember(*music, "activePlayer") : nullptr;
    if (!music || !bool_(*music, "available", false) || !active || !isLocalTarget(*active)) {
        stop();
        return;
    }
    const std::string url = string(*active, "streamUrl");
    if (url.empty()) {
        stop();
        return;
    }
    const bool shouldPlay = musicIsPlaying(*active);
    const std::string canonical = canonicalAudioSrc(url, baseURL);
    const double nowMs = musicNowMs();
    const double positionMs = musicPosition(*active, nowMs);
    const double durationMs = musicDurationMs(*active);
    const std::optional<double> reportedMs = optionalDouble(*active, "positionMs");
    // Without the time of the report a stale position would read as a jump back on every sync.
    const bool timed = optionalDouble(*active, "lastUpdatedAt").value_or(0) > 0;
    const bool positionReported = timed || reportedMs != lastReportedPositionMs_;

    bool moved = false;
    const bool newStream = !currentStreamUrl_ || *currentStreamUrl_ != canonical;
    if (newStream) {
        if (player_) {
            player_->pause();
            player_.reset();
        }
        currentStreamUrl_ = canonical;
        AudioService* audio = platformServices().audio;
        if (audio && isPlayableStream(canonical)) {
            player_ = audio->createPlayer(canonical);
        }
        if (player_) {
            player_->setAutomaticallyWaitsToMinimizeStalling(true);
            // Music moved here mid-track goes on where it was, not from the start.
            if (positionMs > 0) {
                seekTo(positionMs);
                moved = true;
            }
        }
    } else if (player_ && lastPositionMs_ && positionReported) {
        moved = followSeek(positionMs, durationMs, nowMs);
    }
    // A repeated untimed report keeps the moment its position was first seen, so the next
    // change is measured against the playing done since then.
    if (newStream || positionReported || shouldPlay != hubWasPlaying_ || !lastPositionMs_) {
        lastPositionMs_ = positionMs;
        lastSyncMs_ = nowMs;
    }
    hubWasPlaying_ = shouldPlay;
    lastReportedPositionMs_ = reportedMs;

    if (player_) {
        applyVolume(*active);
        // Asking a finished stream to play starts it over; only a seek (above) brings it back.
        if (shouldPlay && (moved || !player_->hasEnded())) {
            player_->play();
            isPlaying_ = true;
        } else {
            player_->pause();
            isPlaying_ = false;
        }
    } else {
        isPlaying_ = false;
    }
}

bool LocalAudioPlayer::followSeek(double positionMs, double durationMs, double nowMs) {
    double expected = *lastPositionMs_;
    if (hubWasPlaying_ && nowMs > lastSyncMs_) {
        expected += nowMs - lastSyncMs_;
    }
    if (durationMs > 0) {
        expected = std::min(expected, durationMs);
    }
    if (std::abs(positionMs - expected) <= kSeekFollowThresholdMs) {
        return false;
    }
    seekTo(positionMs);
    return true;
}

void LocalAudioPlayer::seekTo(double positionMs) {
    player_->seek(static_cast<double>(clampedInteger(positionMs, 0, kFurthestAudioSeekMs)));
}

void LocalAudioPlayer::applyVolume(const JsonObject& active) {
    if (const std::optional<double> v = optionalDouble(active, "volume"); v && std::isfinite(*v)) {
        hubVolume_ = *v >= 100 ? 1.0 : std::max(*v, 0.0) / 100;
    }
    if (musicMuted(active)) {
        player_->setVolume(0);
    } else if (hubVolume_) {
        player_->setVolume(*hubVolume_);
    }
}

}  // namespace corvix

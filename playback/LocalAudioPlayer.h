#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/AudioPlayback.h"
#include "platform/Url.h"
#include "state/StateAccessors.h"

namespace corvix {

/// Plays the hub's music on this computer while the hub routes it here (to its browser player
/// or to the built-in player that stands for this computer): one audio player follows the
/// active player's stream, play state, volume and position. It never talks to the hub; it only
/// follows the fetched state. Main thread only.
class LocalAudioPlayer {
  public:
    /// A position further than this from where the last state said playback would be is a seek
    /// made elsewhere, and is followed.
    static constexpr double kSeekFollowThresholdMs = 3000;

    /// The one instance of the process, made on first use.
    static LocalAudioPlayer& shared();
    /// Drops the instance (and its player); the next `shared` makes a new one.
    static void resetShared();

    /// Follows the active music player of `state`; `baseURL` resolves a relative stream location.
    void sync(const JsonObject& state, const Url& baseURL);
    /// Pauses and drops the player. Also called at shutdown, while the audio service still exists.
    void stop();

    /// `src` when it has a scheme, else `src` resolved against `baseURL`, else `src` unchanged.
    static std::string canonicalAudioSrc(const std::string& src, const Url& baseURL);

    bool hasPlayer() const { return static_cast<bool>(player_); }
    const AudioPlayer* player() const { return player_.get(); }
    const std::optional<std::string>& currentStreamUrl() const { return currentStreamUrl_; }
    bool isPlaying() const { return isPlaying_; }

  private:
    /// Follows a jump in the hub's position; true when the player was moved.
    bool followSeek(double positionMs, double durationMs, double nowMs);
    /// Moves the player to the hub's position, as whole milliseconds within what a seek takes.
    void seekTo(double positionMs);
    void applyVolume(const JsonObject& active);

    std::unique_ptr<AudioPlayer> player_;
    std::optional<std::string> currentStreamUrl_;
    bool isPlaying_ = false;
    /// The hub's volume as last reported, 0 to 1; kept while muted and across reports without one.
    std::optional<double> hubVolume_;
    /// The hub's position at the last sync of this stream, when it was taken and whether the hub
    /// was playing then: where the position should be now unless someone moved it.
    std::optional<double> lastPositionMs_;
    double lastSyncMs_ = 0;
    bool hubWasPlaying_ = false;
    /// The "positionMs" of the last sync as the hub wrote it. A report without "lastUpdatedAt"
    /// says nothing of when its position held, so only a change of this number is a seek.
    std::optional<double> lastReportedPositionMs_;
};

}  // namespace corvix

#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvix {

/// The furthest a seek goes, in milliseconds (about 31 years, past the end of any stream): a
/// backend counting in nanoseconds still stays far inside 64 bits.
inline constexpr std::int64_t kFurthestAudioSeekMs = 1'000'000'000'000;

/// One network audio stream being played on this computer. Main thread only.
class AudioPlayer {
  public:
    virtual ~AudioPlayer() = default;
    virtual void play() = 0;
    virtual void pause() = 0;
    /// 0.0 (silent) to 1.0 (full).
    virtual void setVolume(double volume) = 0;
    /// Buffer enough before starting or resuming that playback does not stall right away.
    virtual void setAutomaticallyWaitsToMinimizeStalling(bool waits) = 0;
    /// Moves to `ms` from the start (held within 0 to `kFurthestAudioSeekMs`); before the stream
    /// can seek, the move waits until it can.
    virtual void seek(double ms) = 0;
    /// Where playback is, in milliseconds from the start.
    virtual double positionMs() const = 0;
    /// The stream played to its end (a new play would start it over).
    virtual bool hasEnded() const = 0;
};

/// Makes audio players; provided by the backend.
class AudioService {
  public:
    virtual ~AudioService() = default;
    /// A paused player for the absolute URL `url`, or none when this computer cannot play.
    virtual std::unique_ptr<AudioPlayer> createPlayer(const std::string& url) = 0;
};

}  // namespace corvix

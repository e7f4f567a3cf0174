#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvix {

// The desktop's media controls (MPRIS2 on the D-Bus session bus) as plain values: what the
// player shows, and what the desktop asks of it.

enum class MprisPlaybackStatus { Playing, Paused, Stopped };
enum class MprisLoopStatus { None, Track, Playlist };

/// The bus's words for the two enumerations ("Playing", "Track", ...).
std::string_view mprisPlaybackStatusName(MprisPlaybackStatus status);
std::string_view mprisLoopStatusName(MprisLoopStatus status);
/// The loop status a bus word names; none for any other text.
std::optional<MprisLoopStatus> mprisLoopStatusNamed(std::string_view name);

/// Whether `path` is a valid D-Bus object path ("/" or slash-separated [A-Za-z0-9_] names).
bool mprisIsObjectPath(std::string_view path);

/// The object path that stands for "no track".
inline constexpr std::string_view kMprisNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

/// The current track. Empty texts, an empty artist list and a zero length are left out of the
/// published metadata.
struct MprisMetadata {
    /// A valid D-Bus object path, new for every track.
    std::string trackId{kMprisNoTrack};
    std::string title;
    std::vector<std::string> artists;
    std::string album;
    /// Absolute.
    std::string artUrl;
    std::int64_t lengthUs = 0;

    bool operator==(const MprisMetadata&) const = default;
};

/// Everything the player interface shows at one moment.
struct MprisSnapshot {
    MprisMetadata metadata;
    MprisPlaybackStatus playbackStatus = MprisPlaybackStatus::Stopped;
    /// The position at the wall-clock time `sampledAtMs` (milliseconds since 1970).
    std::int64_t positionUs = 0;
    double sampledAtMs = 0;
    /// 0 to 1.
    double volume = 1;
    bool shuffle = false;
    MprisLoopStatus loopStatus = MprisLoopStatus::None;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
    bool canControl = false;

    /// The position at `nowMs`, counted on while playing and limited to a known length.
    std::int64_t positionAt(double nowMs) const;

    bool operator==(const MprisSnapshot&) const = default;
};

/// The player-interface properties whose value differs between two snapshots, by their bus
/// names. Position never appears (the desktop counts it on itself), nor CanControl, which the
/// interface says is never announced.
std::vector<std::string_view> changedMprisPlayerProperties(const MprisSnapshot& before,
                                                           const MprisSnapshot& after);

/// A method call or property write from the desktop.
struct MprisRequest {
    enum class Kind {
        Play,
        Pause,
        PlayPause,
        Stop,
        Next,
        Previous,
        Seek,         // by `offsetUs`
        SetPosition,  // `trackId` to `positionUs`
        SetVolume,
        SetShuffle,
        SetLoopStatus,
    };
    Kind kind = Kind::Play;
    std::int64_t offsetUs = 0;
    std::int64_t positionUs = 0;
    std::string trackId;
    double volume = 0;
    bool shuffle = false;
    MprisLoopStatus loopStatus = MprisLoopStatus::None;
};

/// Publishes one player on the desktop's media controls. Main thread only.
class MprisService {
  public:
    using RequestHandler = std::function<void(const MprisRequest&)>;

    virtual ~MprisService() = default;

    /// False when there is no bus to publish on: the service then does nothing.
    virtual bool available() const = 0;
    /// Shows `snapshot`, announcing only the properties that changed; none withdraws the
    /// player from the desktop.
    virtual void publish(const std::optional<MprisSnapshot>& snapshot) = 0;
    /// Tells the desktop that the position jumped (after the publish that carries it).
    virtual void seeked(std::int64_t positionUs) = 0;
    /// Where the desktop's calls go; they arrive on the main thread.
    virtual void setRequestHandler(RequestHandler handler) = 0;
};

}  // namespace corvix

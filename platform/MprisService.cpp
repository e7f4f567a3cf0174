#include "platform/MprisService.h"

#include <algorithm>
#include <cmath>

namespace corvix {

std::string_view mprisPlaybackStatusName(MprisPlaybackStatus status) {
    switch (status) {
        case MprisPlaybackStatus::Playing:
            return "Playing";
        case MprisPlaybackStatus::Paused:
            return "Paused";
        case MprisPlaybackStatus::Stopped:
            break;
    }
    return "Stopped";
}

std::string_view mprisLoopStatusName(MprisLoopStatus status) {
    switch (status) {
        case MprisLoopStatus::Track:
            return "Track";
        case MprisLoopStatus::Playlist:
            return "Playlist";
        case MprisLoopStatus::None:
            break;
    }
    return "None";
}

std::optional<MprisLoopStatus> mprisLoopStatusNamed(std::string_view name) {
    for (auto status : {MprisLoopStatus::None, MprisLoopStatus::Track, MprisLoopStatus::Playlist}) {
        if (name == mprisLoopStatusName(status)) {
            return status;
        }
    }
    return std::nullopt;
}

bool mprisIsObjectPath(std::string_view path) {
    if (path == "/") {
        return true;
    }
    if (path.empty() || path.front() != '/' || path.back() == '/') {
        return false;
    }
    char previous = '\0';
    for (char c : path) {
        const bool name =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!name && (c != '/' || previous == '/')) {
            return false;
        }
        previous = c;
    }
    return true;
}

std::int64_t MprisSnapshot::positionAt(double nowMs) const {
    double position = static_cast<double>(positionUs);
    const double elapsedMs = nowMs - sampledAtMs;
    if (playbackStatus == MprisPlaybackStatus::Playing && elapsedMs > 0 &&
        std::isfinite(elapsedMs)) {
        position += elapsedMs * 1000;
    }
    if (metadata.lengthUs > 0) {
        position = std::min(position, static_cast<double>(metadata.lengthUs));
    }
    // Held below 2^63 before the conversion: a position near the 64-bit limit plus the time
    // played since would not fit.
    constexpr double kLargestBelowLimit = 9223372036854774784.0;  // 2^63 - 1024
    return static_cast<std::int64_t>(std::clamp(position, 0.0, kLargestBelowLimit));
}

std::vector<std::string_view> changedMprisPlayerProperties(const MprisSnapshot& before,
                                                           const MprisSnapshot& after) {
    std::vector<std::string_view> changed;
    auto note = [&](bool differs, std::string_view name) {
        if (differs) {
            changed.push_back(name);
        }
    };
    note(before.metadata != after.metadata, "Metadata");
    note(before.playbackStatus != after.playbackStatus, "PlaybackStatus");
    note(before.volume != after.volume, "Volume");
    note(before.shuffle != after.shuffle, "Shuffle");
    note(before.loopStatus != after.loopStatus, "LoopStatus");
    note(before.canGoNext != after.canGoNext, "CanGoNext");
    note(before.canGoPrevious != after.canGoPrevious, "CanGoPrevious");
    note(before.canPlay != after.canPlay, "CanPlay");
    note(before.canPause != after.canPause, "CanPause");
    note(before.canSeek != after.canSeek, "CanSeek");
    return changed;
}

}  // namespace corvix

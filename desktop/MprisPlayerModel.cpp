#include "desktop/MprisPlayerModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"
#include "images/MusicArtwork.h"
#include "state/MusicPlayer.h"

namespace corvix {

namespace {

std::int64_t microseconds(double ms) {
    return std::isfinite(ms) ? clampedInteger(ms * 1000) : 0;
}

/// 64-bit FNV-1a: a short, stable name for a track whatever characters its id holds.
std::uint64_t fingerprint(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

/// Only addresses a desktop can load itself; a hub may send anything.
std::string artUrl(const JsonObject& player, const Url& base) {
    const std::string key = musicArtworkKey(player);
    if (key.empty()) {
        return "";
    }
    const std::optional<std::string> resolved = resolvedArtworkURL(key, base);
    const std::optional<Url> url = resolved ? Url::parseAbsolute(*resolved) : std::nullopt;
    if (!url || (url->scheme != "http" && url->scheme != "https" && url->scheme != "file")) {
        return "";
    }
    return *resolved;
}

MprisPlaybackStatus playbackStatus(const JsonObject& player) {
    if (musicIsPlaying(player)) {
        return MprisPlaybackStatus::Playing;
    }
    return asciiLowercased(string(player, "playback")) == "paused" ? MprisPlaybackStatus::Paused
                                                                   : MprisPlaybackStatus::Stopped;
}

MprisLoopStatus loopStatus(const JsonObject& player) {
    const std::string mode = normalizedRepeatMode(player);
    if (mode == "one") {
        return MprisLoopStatus::Track;
    }
    return mode == "all" ? MprisLoopStatus::Playlist : MprisLoopStatus::None;
}

std::string_view repeatMode(MprisLoopStatus status) {
    switch (status) {
        case MprisLoopStatus::Track:
            return "one";
        case MprisLoopStatus::Playlist:
            return "all";
        case MprisLoopStatus::None:
            break;
    }
    return "off";
}

bool volumeCapable(const JsonObject& player) {
    const json::value* volume = member(player, "volume");
    return musicCapability(player, "volume", volume && volume->is_number());
}

MusicCommand seekTo(double positionMs) {
    return {"seek", JsonObject{{"positionMs", clampedInteger(positionMs, 0)}}};
}

}  // namespace

std::optional<JsonObject> mprisActivePlayer(const JsonObject& state,
                                            const std::optional<std::string>& localActivePlayerId) {
    const JsonObject* music = objectMember(state, "musicPlayer");
    if (!music || !bool_(*music, "available", false)) {
        return std::nullopt;
    }
    const JsonObject block = effectiveMusicPlayerBlock(*music, localActivePlayerId);
    const JsonObject* active = objectMember(block, "activePlayer");
    return active ? std::optional<JsonObject>(*active) : std::nullopt;
}

std::string mprisTrackId(const JsonObject& player) {
    std::string what = musicContentId(player);
    if (what.empty()) {
        const std::string title = string(player, "title");
        if (title.empty()) {
            return std::string(kMprisNoTrack);
        }
        what = title + '\x1f' + string(player, "artist", string(player, "subtitle")) + '\x1f' +
               string(player, "album");
    }
    // The same item on another output is another track there.
    char name[24];
    std::snprintf(
        name, sizeof name, "%016llx",
        static_cast<unsigned long long>(fingerprint(identifierText(player, "id") + '\x1e' + what)));
    return "/os/orbelune/Corvix/track/t" + std::string(name);
}

MprisSnapshot mprisSnapshot(const JsonObject& player, const Url& base, double nowMs) {
    MprisSnapshot snapshot;
    MprisMetadata& metadata = snapshot.metadata;
    metadata.trackId = mprisTrackId(player);
    metadata.title = musicTitle(player);
    if (std::string artist = string(player, "artist", string(player, "subtitle"));
        !artist.empty()) {
        metadata.artists.push_back(std::move(artist));
    }
    metadata.album = string(player, "album");
    metadata.artUrl = artUrl(player, base);
    metadata.lengthUs = microseconds(musicDurationMs(player));

    snapshot.playbackStatus = playbackStatus(player);
    snapshot.positionUs = microseconds(musicPosition(player, nowMs));
    snapshot.sampledAtMs = nowMs;
    snapshot.volume = musicVolume(player) / 100;
    snapshot.shuffle = musicShuffle(player);
    snapshot.loopStatus = loopStatus(player);

    // The menu's rules: a player without a target cannot be commanded at all.
    const bool control = musicAcceptsCommands(player);
    snapshot.canControl = control;
    snapshot.canPlay = control;
    snapshot.canPause = control;
    snapshot.canGoNext = control;
    snapshot.canGoPrevious = control;
    snapshot.canSeek = control && metadata.lengthUs > 0 && musicCapability(player, "seek", true);
    return snapshot;
}

std::optional<MusicCommand> mprisCommand(const JsonObject& player, const MprisRequest& request,
                                         double nowMs) {
    if (!musicAcceptsCommands(player)) {
        return std::nullopt;
    }
    using Kind = MprisRequest::Kind;
    const bool playing = musicIsPlaying(player);
    const double durationMs = musicDurationMs(player);
    const bool canSeek = durationMs > 0 && musicCapability(player, "seek", true);
    switch (request.kind) {
        case Kind::Play:
            return playing ? std::nullopt : std::optional<MusicCommand>({"resume", {}});
        case Kind::Pause:
        case Kind::Stop:
            // The hub's players know no stop the menu would send; pausing keeps the queue.
            return playing ? std::optional<MusicCommand>({"pause", {}}) : std::nullopt;
        case Kind::PlayPause:
            return MusicCommand{playing ? "pause" : "resume", {}};
        case Kind::Next:
            return MusicCommand{"next", {}};
        case Kind::Previous:
            return MusicCommand{"previous", {}};
        case Kind::Seek: {
            if (!canSeek) {
                return std::nullopt;
            }
            const double target = musicPosition(player, nowMs) + request.offsetUs / 1000.0;
            if (target >= durationMs) {
                return MusicCommand{"next", {}};  // past the end is the next track
            }
            return seekTo(target);
        }
        case Kind::SetPosition: {
            const double target = request.positionUs / 1000.0;
            if (!canSeek || request.trackId != mprisTrackId(player) || target < 0 ||
                target > durationMs) {
                return std::nullopt;  // a stale track or a place outside it
            }
            return seekTo(target);
        }
        case Kind::SetVolume: {
            if (!volumeCapable(player) || !std::isfinite(request.volume)) {
                return std::nullopt;
            }
            const auto volume =
                static_cast<std::int64_t>(std::llround(std::clamp(request.volume, 0.0, 1.0) * 100));
            return MusicCommand{"set_volume", JsonObject{{"volume", volume}}};
        }
        case Kind::SetShuffle:
            if (!musicCapability(player, "queue", true)) {
                return std::nullopt;
            }
            return MusicCommand{"set_shuffle", JsonObject{{"shuffle", request.shuffle}}};
        case Kind::SetLoopStatus:
            if (!musicCapability(player, "queue", true)) {
                return std::nullopt;
            }
            return MusicCommand{"set_repeat",
                                JsonObject{{"repeat", repeatMode(request.loopStatus)}}};
    }
    return std::nullopt;
}

MprisPlayerModel::MprisPlayerModel(MprisService& service, const OrbeluneClient& client,
                                   OrderedSends& sends, std::function<void()> refresh)
    : service_(service), client_(client), sends_(sends), refresh_(std::move(refresh)) {
    service_.setRequestHandler([this, alive = lifetime_.weak()](const MprisRequest& request) {
        if (!alive.expired()) {
            handle(request);
        }
    });
}

MprisPlayerModel::~MprisPlayerModel() {
    service_.setRequestHandler(nullptr);
}

void MprisPlayerModel::update(const JsonObject* state,
                              const std::optional<std::string>& localActivePlayerId) {
    hubPlayer_ = state ? mprisActivePlayer(*state, localActivePlayerId) : std::nullopt;
    player_ = hubPlayer_;
    // A seek, volume or play/pause still waiting or on its way (from here, the menu or the
    // notch) is the user's value; the hub's may be behind it.
    if (player_) {
        const std::string target = musicSendTarget(*player_);
        if (const OrderedSend* seek = sends_.newest(SendKey{target, kSeekControl})) {
            player_ = projectedMusicPlayer(*player_, "seek", seek->payload);
        }
        if (const OrderedSend* volume = sends_.newest(SendKey{target, kVolumeControl})) {
            player_ = projectedMusicPlayer(*player_, "set_volume", volume->payload);
        }
        if (const OrderedSend* playback = sends_.newest(SendKey{target, kPlaybackControl})) {
            player_ = projectedMusicPlayer(*player_, playback->operation, playback->payload);
        }
    }
    show();
}

void MprisPlayerModel::show() {
    if (!player_) {
        if (shown_) {
            shown_.reset();
            service_.publish(std::nullopt);
        }
        return;
    }
    const double now = musicNowMs();
    MprisSnapshot next = mprisSnapshot(*player_, client_.baseURL(), now);
    const bool jumped =
        shown_ && shown_->metadata.trackId == next.metadata.trackId &&
        std::llabs(next.positionAt(now) - shown_->positionAt(now)) > kMprisSeekToleranceUs;
    shown_ = next;
    service_.publish(next);
    if (jumped) {
        service_.seeked(next.positionAt(now));
    }
}

void MprisPlayerModel::handle(const MprisRequest& request) {
    if (!player_) {
        return;
    }
    const std::optional<MusicCommand> command = mprisCommand(*player_, request, musicNowMs());
    if (!command) {
        return;
    }
    // Show the expected effect at once: with the menu closed the next fetch may be far off.
    player_ = projectedMusicPlayer(*player_, command->action, command->payload);
    show();
    // Moves of one control wait for the answer to the one before, so a held key or a burst of
    // presses cannot flood the hub.
    if (command->action == "seek") {
        sendInOrder(kSeekControl, *command);
    } else if (command->action == "set_volume") {
        sendInOrder(kVolumeControl, *command);
    } else if (command->action == "next" || command->action == "previous") {
        sendInOrder(kTrackControl, *command);
    } else if (command->action == "pause" || command->action == "resume") {
        sendInOrder(kPlaybackControl, *command);
    } else {
        send(*command);
    }
}

void MprisPlayerModel::send(const MusicCommand& command) {
    client_.runMusicCommand(command.action, *player_, command.payload,
                            [this, alive = lifetime_.weak()](Result<void> result) {
                                if (!alive.expired()) {
                                    finished(result);
                                }
                            });
}

void MprisPlayerModel::sendInOrder(const char* control, const MusicCommand& command) {
    OrderedSend value;
    value.operation = command.action;
    value.payload = command.payload;
    // Each press is its own step: a Next pressed while one is on its way is a second Next,
    // never the same one again.
    value.repeats = std::string_view(control) == kTrackControl;
    value.start = [this, alive = lifetime_.weak(), command,
                   player = *player_](OrderedSend::Done done) {
        // A waiting value goes to the player it was meant for, but not once the desktop
        // shows no player at all.
        if (alive.expired() || !player_) {
            return false;
        }
        client_.runMusicCommand(command.action, player, command.payload, std::move(done));
        return true;
    };
    value.outcome = [this, alive = lifetime_.weak()](Result<void> result) {
        if (!alive.expired()) {
            finished(result);
        }
    };
    sends_.send(SendKey{musicSendTarget(*player_), control}, std::move(value));
}

void MprisPlayerModel::finished(const Result<void>& result) {
    if (!result.ok()) {
        // Nobody waits for a cancelled request.
        if (isCancellationError(result.error())) {
            return;
        }
        // A media key has no place for an alert: show the hub's last word again instead of
        // the projection, until the refresh brings its new one.
        RuntimeDiagnostics::menuBar().count("mpris_command_failed");
        player_ = hubPlayer_;
        show();
    }
    if (refresh_) {
        refresh_();
    }
}

}  // namespace corvix

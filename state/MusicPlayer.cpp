#include "state/MusicPlayer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "platform/PlatformServices.h"
#include "platform/RunLoop.h"

namespace corvix {

namespace {

std::string trimmed(std::string_view text) {
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string playbackState(const JsonObject& player) {
    return asciiLowercased(string(player, "playback"));
}

/// A number member that is finite and not negative, else 0.
double nonNegative(const JsonObject& player, std::string_view key) {
    const double value = optionalDouble(player, key).value_or(0);
    return std::isfinite(value) && value > 0 ? value : 0;
}

std::string metadataString(const JsonObject& player, std::string_view key) {
    const JsonObject* metadata = objectMember(player, "metadata");
    return metadata ? string(*metadata, key) : std::string();
}

}  // namespace

double musicNowMs() {
    if (RunLoop* loop = platformServices().runLoop) {
        return loop->wallClockMs();
    }
    using namespace std::chrono;
    return duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
}

std::string musicTitle(const JsonObject& player) {
    std::string title = string(player, "title");
    return title.empty() ? string(player, "label", "Music") : title;
}

std::string musicStatusText(const JsonObject& player) {
    const std::string state = playbackState(player);
    if (state == "playing") {
        return "Playing";
    }
    return state == "paused" ? "Paused" : "Ready";
}

std::string musicSourceLine(const JsonObject& player) {
    const std::string parts[] = {string(player, "artist", string(player, "subtitle")),
                                 string(player, "album"), string(player, "qualityLabel")};
    std::string line;
    for (const auto& part : parts) {
        if (part.empty()) {
            continue;
        }
        if (!line.empty()) {
            line += " \u2022 ";
        }
        line += part;
    }
    return line.empty() ? string(player, "label", "Orbelune Music") : line;
}

bool musicIsPlaying(const JsonObject& player) {
    return playbackState(player) == "playing";
}

double musicDurationMs(const JsonObject& player) {
    return nonNegative(player, "durationMs");
}

double musicVolume(const JsonObject& player) {
    const double volume = optionalDouble(player, "volume").value_or(100);
    return std::isfinite(volume) ? std::clamp(volume, 0.0, 100.0) : 100.0;
}

bool musicAcceptsCommands(const JsonObject& player) {
    return !identifierText(player, "targetId").empty();
}

double musicPosition(const JsonObject& player, double nowMs) {
    double position = nonNegative(player, "positionMs");
    const double duration = musicDurationMs(player);
    if (playbackState(player) == "playing") {
        const std::optional<double> updated = optionalDouble(player, "lastUpdatedAt");
        if (updated && *updated > 0) {
            const double elapsed = nowMs - *updated;
            // A report from the future (clock skew) adds nothing.
            if (elapsed > 0 && std::isfinite(elapsed)) {
                position += elapsed;
            }
        }
    }
    return duration > 0 ? std::min(position, duration) : position;
}

double musicPosition(const JsonObject& player) {
    return musicPosition(player, musicNowMs());
}

double musicProgressFraction(const JsonObject& player, double nowMs) {
    const double duration = musicDurationMs(player);
    if (duration <= 0) {
        return 0;
    }
    return std::clamp(musicPosition(player, nowMs) / duration, 0.0, 1.0);
}

double musicProgressFraction(const JsonObject& player) {
    return musicProgressFraction(player, musicNowMs());
}

bool musicCapability(const JsonObject& player, std::string_view name, bool fallback) {
    const JsonObject* capabilities = objectMember(player, "capabilities");
    if (!capabilities) {
        return fallback;
    }
    if (auto plain = optionalBool(*capabilities, name)) {
        return *plain;
    }
    static constexpr std::pair<std::string_view, std::string_view> aliases[] = {
        {"seek", "canSeek"},         {"volume", "canSetVolume"},  {"mute", "canMute"},
        {"queue", "canManageQueue"}, {"transfer", "canTransfer"},
    };
    for (const auto& [plainName, alias] : aliases) {
        if (plainName == name) {
            return optionalBool(*capabilities, alias).value_or(fallback);
        }
    }
    return fallback;
}

std::string normalizedRepeatMode(const JsonObject& player) {
    const json::value* repeat = member(player, "repeat");
    // The string form of true is "1", which would read as "off".
    if (repeat && repeat->is_bool()) {
        return repeat->get_bool() ? "all" : "off";
    }
    const std::string mode = asciiLowercased(string(repeat, "off"));
    if (mode == "one" || mode == "track" || mode == "single") {
        return "one";
    }
    if (mode == "all" || mode == "context" || mode == "playlist" || mode == "true" ||
        mode == "on") {
        return "all";
    }
    return "off";
}

bool musicMuted(const JsonObject& player) {
    if (auto muted = optionalBool(player, "muted")) {
        return *muted;
    }
    if (auto mute = optionalBool(player, "mute")) {
        return *mute;
    }
    if (const JsonObject* metadata = objectMember(player, "metadata")) {
        return optionalBool(*metadata, "muted").value_or(false);
    }
    return false;
}

bool musicShuffle(const JsonObject& player) {
    return optionalBool(player, "shuffle").value_or(false);
}

std::string musicStreamLocation(const JsonObject& player) {
    return string(player, "streamUrl", metadataString(player, "uri"));
}

std::string musicContentId(const JsonObject& player) {
    std::string id = string(player, "contentId");
    if (id.empty()) {
        id = metadataString(player, "contentId");
    }
    return id.empty() ? musicStreamLocation(player) : id;
}

bool musicHoldsLocalMedia(const JsonObject& player) {
    if (string(player, "serviceKey") == "LOCAL_LIBRARY" ||
        !metadataString(player, "filePath").empty()) {
        return true;
    }
    return string(player, "contentType") == "track" && !musicContentId(player).empty() &&
           musicStreamLocation(player).find("/media-services/library/stream/") != std::string::npos;
}

int musicRouteSourceScore(const JsonObject& player) {
    const bool playing = playbackState(player) == "playing";
    int score = playing ? 100 : 0;
    if (bool_(player, "localBrowserPlayback", false)) {
        score += 40;
    }
    if (!playing && string(player, "serviceKey") == "LOCAL_LIBRARY") {
        score += 30;
    }
    if (!string(player, "title").empty()) {
        score += 10;
    }
    return score;
}

const JsonObject* musicRouteSource(const ObjectList& players, const JsonObject* active) {
    struct Candidate {
        const JsonObject* player;
        int score;
        double updatedAt;
    };
    std::vector<Candidate> candidates;
    for (const JsonObject* player : players) {
        if (!bool_(*player, "available", true)) {
            continue;
        }
        if (string(*player, "serviceKey") == "LOCAL_DEVICE" && !musicHoldsLocalMedia(*player) &&
            !bool_(*player, "localBrowserPlayback", false)) {
            continue;
        }
        if (musicContentId(*player).empty() && musicStreamLocation(*player).empty()) {
            continue;
        }
        candidates.push_back({player, musicRouteSourceScore(*player),
                              optionalDouble(*player, "lastUpdatedAt").value_or(0)});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) {
                         if (a.score != b.score) {
                             return a.score > b.score;
                         }
                         return a.updatedAt > b.updatedAt;
                     });
    return candidates.empty() ? active : candidates.front().player;
}

std::string musicOutputIconName(const JsonObject& player, bool isActive) {
    if (isActive) {
        return "checkmark.circle.fill";
    }
    const std::string type = asciiLowercased(string(player, "targetType"));
    const std::string family =
        asciiLowercased(string(player, "providerFamily", metadataString(player, "providerFamily")));
    if (type.find("airplay") != std::string::npos || family.find("airplay") != std::string::npos) {
        return "airplayaudio";
    }
    if (bool_(player, "localBrowserPlayback", false) || type == "built_in_player") {
        return "laptopcomputer";
    }
    return type == "group" ? "speaker.2" : "speaker.wave.2";
}

std::string musicOutputAccessibilityText(const JsonObject& player, bool isActive) {
    const std::string parts[] = {isActive ? "Active output" : "Output",
                                 string(player, "label", "Music Player"),
                                 string(player, "providerLabel"), string(player, "subtitle"),
                                 string(player, "qualityLabel")};
    std::set<std::string> seen;
    std::string text;
    for (const auto& part : parts) {
        const std::string key = asciiLowercased(trimmed(part));
        if (key.empty() || !seen.insert(key).second) {
            continue;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += part;
    }
    return text;
}

std::string formatDuration(double ms) {
    if (!std::isfinite(ms)) {
        ms = 0;
    }
    // Far beyond any track; keeps the conversion to an integer defined.
    constexpr double kMaxSeconds = 1e12;
    const double seconds = std::clamp(std::round(ms / 1000), -1.0, kMaxSeconds);
    const auto t = static_cast<std::int64_t>(std::max(seconds, 0.0));
    const std::int64_t h = t / 3600, m = (t - 3600 * h) / 60, sec = t % 60;
    char buffer[48];
    if (seconds < 3600) {
        std::snprintf(buffer, sizeof buffer, "%" PRId64 ":%02" PRId64, m, sec);
    } else {
        std::snprintf(buffer, sizeof buffer, "%" PRId64 ":%02" PRId64 ":%02" PRId64, h, m, sec);
    }
    return buffer;
}

bool musicPlayerMatches(const JsonObject& player, const JsonObject& commanded) {
    const std::string id = identifierText(commanded, "id");
    if (!id.empty() && identifierText(player, "id") == id) {
        return true;
    }
    // Two players that both lack a target are not the same player.
    const std::string targetId = identifierText(commanded, "targetId");
    return !targetId.empty() && identifierText(player, "targetId") == targetId &&
           identifierText(player, "targetType") == identifierText(commanded, "targetType");
}

JsonObject projectedMusicPlayer(const JsonObject& player, std::string_view action,
                                const JsonObject& payload, double nowMs) {
    JsonObject projected = player;
    // Renewing "lastUpdatedAt" restarts the count from "positionMs", so the position reached
    // by now goes into it; otherwise a playing track would jump back to its last report.
    const double position = musicPosition(player, nowMs);
    if (player.contains("positionMs") || position > 0) {
        projected["positionMs"] = position;
    }
    if (action == "pause") {
        projected["playback"] = "paused";
    } else if (action == "resume" || action == "play") {
        projected["playback"] = "playing";
    } else if (action == "set_volume") {
        if (auto volume = optionalDouble(payload, "volume")) {
            projected["volume"] = clampedInteger(*volume, 0, 100);
        }
    } else if (action == "mute") {
        projected["muted"] = true;
    } else if (action == "unmute") {
        projected["muted"] = false;
    } else if (action == "set_shuffle") {
        if (auto shuffle = optionalBool(payload, "shuffle")) {
            projected["shuffle"] = *shuffle;
        }
    } else if (action == "set_repeat") {
        if (const std::string mode = string(payload, "repeat");
            mode == "off" || mode == "all" || mode == "one") {
            projected["repeat"] = mode;
        }
    } else if (action == "seek") {
        if (auto target = optionalDouble(payload, "positionMs"); target && std::isfinite(*target)) {
            const double duration = musicDurationMs(player);
            double clamped = std::max(*target, 0.0);
            if (duration > 0) {
                clamped = std::min(clamped, duration);
            }
            projected["positionMs"] = clamped;
        }
    }
    projected["lastUpdatedAt"] = nowMs;
    return projected;
}

JsonObject projectedMusicPlayer(const JsonObject& player, std::string_view action,
                                const JsonObject& payload) {
    return projectedMusicPlayer(player, action, payload, musicNowMs());
}

JsonObject projectMusicCommand(const JsonObject& state, std::string_view action,
                               const JsonObject& player, const JsonObject& payload, double nowMs) {
    JsonObject copy = state;
    json::value* block = copy.if_contains("musicPlayer");
    if (!block || !block->is_object()) {
        return copy;
    }
    JsonObject& music = block->get_object();
    if (json::value* active = music.if_contains("activePlayer");
        active && active->is_object() && musicPlayerMatches(active->get_object(), player)) {
        *active = projectedMusicPlayer(active->get_object(), action, payload, nowMs);
    }
    if (json::value* players = music.if_contains("players"); players && !array(players).empty()) {
        for (json::value& element : players->get_array()) {
            if (musicPlayerMatches(element.get_object(), player)) {
                element = projectedMusicPlayer(element.get_object(), action, payload, nowMs);
            }
        }
    }
    return copy;
}

JsonObject projectMusicCommand(const JsonObject& state, std::string_view action,
                               const JsonObject& player, const JsonObject& payload) {
    return projectMusicCommand(state, action, player, payload, musicNowMs());
}

JsonObject effectiveMusicPlayerBlock(const JsonObject& music,
                                     const std::optional<std::string>& localActivePlayerId) {
    JsonObject block = music;
    if (!localActivePlayerId || localActivePlayerId->empty()) {
        return block;
    }
    for (const JsonObject* player : array(music, "players")) {
        if (identifierText(*player, "id") == *localActivePlayerId) {
            block["activePlayer"] = *player;
            break;
        }
    }
    return block;
}

}  // namespace corvix

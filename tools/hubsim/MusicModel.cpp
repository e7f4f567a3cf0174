#include "MusicModel.h"

#include "JsonUtil.h"

#include <algorithm>
#include <cmath>

namespace hubsim {
namespace json = boost::json;

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string normalizedRepeat(const std::string& mode) {
    const std::string m = lower(mode);
    if (m == "one" || m == "track" || m == "single") {
        return "one";
    }
    if (m == "all" || m == "context" || m == "playlist" || m == "on" || m == "true") {
        return "all";
    }
    return "off";
}

std::string artworkPath(const std::string& trackId) {
    return "/media-services/artwork/" + trackId + ".png";
}

}  // namespace

MusicModel::MusicModel(std::int64_t nowMs, int playlistCount) {
    tracks_ = {
        {"trk-01", "Northern Lights", "Aurora Vale", "Polar Nights", "Hi-Res", 214000},
        {"trk-02", "Paper Boats", "The Harbour Lanterns", "Low Tide", "Lossless", 187000},
        {"trk-03", "Interlude (Rain)", "Aurora Vale", "Polar Nights", "", 21000},
        {"trk-04", "Copper Skyline", "Mira Sol", "City of Glass", "Lossless", 246000},
        {"trk-05", "Slow Orbit", "Kepler Drive", "Satellites", "Hi-Res", 301000},
        {"trk-06", "Saltwater", "The Harbour Lanterns", "Low Tide", "", 199000},
        {"trk-07", "Midnight Tram", "Mira Sol", "City of Glass", "Lossless", 228000},
        {"trk-08", "Fieldnotes", "Juniper & Ash", "Evergreen", "", 175000},
        {"trk-09", "Glass Harmonica", "Kepler Drive", "Satellites", "Hi-Res", 263000},
        {"trk-10", "Winter Market", "Juniper & Ash", "Evergreen", "Lossless", 192000},
        {"trk-11", "Long Way Round", "Aurora Vale", "Drift", "", 284000},
        {"trk-12", "Signal Fire", "The Harbour Lanterns", "Beacon", "Hi-Res", 207000},
        {"trk-13", "Velvet Static", "Mira Sol", "Night Shift", "", 233000},
        {"trk-14", "After the Parade", "Juniper & Ash", "Evergreen", "Lossless", 318000},
    };
    playlists_ = {
        {"pl-morning",
         "Morning Coffee",
         "",
         "Gentle starts",
         {"trk-02", "trk-08", "trk-10", "trk-06"}},
        {"pl-focus", "Deep Focus", "", "Instrumental", {"trk-05", "trk-09", "trk-03", "trk-01"}},
        {"pl-city", "City Lights", "", "", {"trk-04", "trk-07", "trk-13"}},
        {"pl-single", "", "One Song Wonder", "", {"trk-12"}},
        {"pl-road",
         "Road Trip",
         "",
         "Windows down",
         {"trk-11", "trk-12", "trk-04", "trk-14", "trk-02"}},
        {"pl-evening", "Evening Wind-Down", "", "", {"trk-14", "trk-10", "trk-08"}},
        {"pl-everything",
         "Everything",
         "",
         "The whole library",
         {"trk-01", "trk-02", "trk-03", "trk-04", "trk-05", "trk-06", "trk-07", "trk-08", "trk-09",
          "trk-10", "trk-11", "trk-12", "trk-13", "trk-14"}},
        {"pl-untitled", "", "", "", {"trk-06", "trk-01"}},
    };
    for (int n = static_cast<int>(playlists_.size()); n < playlistCount; ++n) {
        Playlist generated{
            "pl-gen-" + std::to_string(n + 1), "Mix " + std::to_string(n + 1), "", "Generated", {}};
        for (int k = 0; k < 1 + n % 6; ++k) {
            generated.trackIds.push_back(tracks_[(n + k) % tracks_.size()].id);
        }
        playlists_.push_back(std::move(generated));
    }
    listenLater_ = {"trk-07", "trk-01", "trk-11", "trk-05", "trk-13", "trk-09"};

    Player library;
    library.id = "player-library";
    library.label = "Orbelune Library";
    library.providerLabel = "orbelune library ";
    library.serviceKey = "LOCAL_LIBRARY";
    library.targetType = "player";
    library.targetId = "library";
    library.streamsLibrary = true;
    library.capabilities = json::object{
        {"seek", true}, {"volume", true}, {"mute", true}, {"queue", true}, {"transfer", true}};
    library.volume = 64;
    library.playback = "playing";
    library.queue = playlists_[6].trackIds;
    library.index = 0;
    library.positionMs = 42000;
    library.anchorMs = nowMs;
    library.repeat = "all";

    Player speaker;
    speaker.id = "player-living-speaker";
    speaker.label = "Living Room Speaker";
    speaker.providerLabel = "Spotify Connect";
    speaker.serviceKey = "SPOTIFY";
    speaker.targetType = "player";
    speaker.targetId = "spotify-living-room";
    speaker.queueOwned = false;
    speaker.artwork = ArtworkStyle::AbsoluteWide;
    speaker.capabilities = json::object{
        {"canSeek", true}, {"canSetVolume", true}, {"canMute", false}, {"canManageQueue", true}};
    speaker.volume = 35;
    speaker.playback = "paused";
    speaker.queue = {"trk-04", "trk-07", "trk-13"};
    speaker.positionMs = 95000;
    speaker.anchorMs = nowMs;
    speaker.shuffle = true;

    Player airplay;
    airplay.id = "player-kitchen-airplay";
    airplay.label = "Kitchen AirPlay";
    airplay.providerLabel = "Apple Music";
    airplay.providerFamily = "AirPlay";
    airplay.serviceKey = "APPLE_MUSIC";
    airplay.targetType = "airplay";
    airplay.targetId = "airplay-kitchen";
    airplay.artwork = ArtworkStyle::MetadataOnly;
    airplay.capabilities = json::object{{"seek", false}, {"volume", true}};
    airplay.volume = 50;

    Player browser;
    browser.id = "player-this-computer";
    browser.label = "This Computer";
    browser.serviceKey = "LOCAL_DEVICE";
    browser.targetType = "built_in_player";
    browser.targetId = "orbelune_local_player";
    browser.localBrowserPlayback = true;
    browser.streamsLibrary = true;
    browser.volume = 80;

    Player group;
    group.id = "player-downstairs";
    group.label = "Downstairs";
    group.providerLabel = "YouTube Music";
    group.serviceKey = "YOUTUBE_MUSIC";
    group.targetType = "group";
    group.targetId = "group-downstairs";
    group.capabilities = json::object{{"volume", false}};
    group.reportsVolume = false;

    Player bedroom;
    bedroom.id = "player-bedroom";
    bedroom.label = "Bedroom Speaker";
    bedroom.serviceKey = "SPOTIFY";
    bedroom.targetType = "player";
    bedroom.targetId = "spotify-bedroom";
    bedroom.available = false;

    players_ = {library, speaker, airplay, browser, group, bedroom};
    activeId_ = library.id;
}

const Track* MusicModel::track(const std::string& id) const {
    for (const auto& t : tracks_) {
        if (t.id == id) {
            return &t;
        }
    }
    return nullptr;
}

const Track* MusicModel::currentTrack(const Player& player) const {
    if (player.index >= player.queue.size()) {
        return nullptr;
    }
    return track(player.queue[player.index]);
}

Player* MusicModel::player(const std::string& id) {
    for (auto& p : players_) {
        if (p.id == id) {
            return &p;
        }
    }
    return nullptr;
}

const Player* MusicModel::activePlayer() const {
    for (const auto& p : players_) {
        if (p.id == activeId_) {
            return &p;
        }
    }
    return nullptr;
}

Player* MusicModel::byTarget(const std::string& targetType, const std::string& targetId) {
    for (auto& p : players_) {
        if (p.targetType == targetType && p.targetId == targetId) {
            return &p;
        }
    }
    return nullptr;
}

Player* MusicModel::playerFromBody(const json::object& body, const char* idKey,
                                   const char* objectKey) {
    std::string id = text(body.if_contains(idKey));
    const auto* described = object(body.if_contains(objectKey));
    if (id.empty() && described) {
        id = text(described->if_contains("id"));
    }
    if (!id.empty()) {
        return player(id);
    }
    if (described) {
        return byTarget(text(described->if_contains("targetType")),
                        text(described->if_contains("targetId")));
    }
    return nullptr;
}

std::int64_t MusicModel::position(const Player& player, std::int64_t nowMs) const {
    std::int64_t position = player.positionMs;
    if (player.playback == "playing" && nowMs > player.anchorMs) {
        position += nowMs - player.anchorMs;
    }
    if (const Track* t = currentTrack(player)) {
        position = std::min(position, t->durationMs);
    }
    return std::max<std::int64_t>(position, 0);
}

void MusicModel::settle(Player& player, std::int64_t nowMs) {
    player.positionMs = position(player, nowMs);
    player.anchorMs = nowMs;
}

void MusicModel::startQueue(Player& player, std::vector<std::string> queue, std::int64_t nowMs) {
    player.queue = std::move(queue);
    player.index = 0;
    player.positionMs = 0;
    player.anchorMs = nowMs;
    player.playback = player.queue.empty() ? "idle" : "playing";
}

bool MusicModel::capable(const Player& player, const char* name, const char* alias) const {
    if (!player.capabilities.is_object()) {
        return true;
    }
    const auto& caps = player.capabilities.get_object();
    if (const auto* value = caps.if_contains(name); value && value->is_bool()) {
        return value->get_bool();
    }
    if (const auto* value = caps.if_contains(alias); value && value->is_bool()) {
        return value->get_bool();
    }
    return true;
}

bool MusicModel::advance(std::int64_t nowMs) {
    bool changed = false;
    for (auto& p : players_) {
        // Bounded, so that a long pause of the clock cannot spin here.
        for (int guard = 0; guard < 64 && p.playback == "playing"; ++guard) {
            const Track* t = currentTrack(p);
            if (!t) {
                p.playback = "idle";
                changed = true;
                break;
            }
            const std::int64_t elapsed = p.positionMs + (nowMs - p.anchorMs);
            if (elapsed < t->durationMs) {
                break;
            }
            const std::int64_t endedAt = p.anchorMs + (t->durationMs - p.positionMs);
            changed = true;
            p.positionMs = 0;
            p.anchorMs = endedAt;
            if (p.repeat == "one") {
                continue;
            }
            if (p.index + 1 < p.queue.size()) {
                ++p.index;
            } else if (p.repeat == "all") {
                p.index = 0;
            } else {
                p.index = 0;
                p.playback = "paused";
                p.anchorMs = nowMs;
            }
        }
    }
    return changed;
}

Reply MusicModel::command(const json::object& body, std::int64_t nowMs) {
    const std::string action = text(body.if_contains("action"));
    if (action.empty()) {
        return Reply::error(400, "Music command needs an \"action\"");
    }
    const std::string targetType = text(body.if_contains("targetType"));
    const std::string targetId = text(body.if_contains("targetId"));
    if (targetId.empty()) {
        return Reply::error(400, "Music command needs a \"targetId\"");
    }
    Player* p = byTarget(targetType, targetId);
    if (!p) {
        return Reply::error(404, "Unknown music target " + targetType + ":" + targetId);
    }
    const std::string a = lower(action);
    settle(*p, nowMs);

    if (a == "play" || a == "resume") {
        if (p->queue.empty()) {
            return Reply::refused("Nothing is queued on " + p->label);
        }
        p->playback = "playing";
        return Reply::success(p->label + " is playing");
    }
    if (a == "pause") {
        if (p->playback == "playing") {
            p->playback = "paused";
        }
        return Reply::success(p->label + " paused");
    }
    if (a == "toggle" || a == "playpause" || a == "play_pause" || a == "toggleplaypause") {
        if (p->playback == "playing") {
            p->playback = "paused";
        } else if (!p->queue.empty()) {
            p->playback = "playing";
        } else {
            return Reply::refused("Nothing is queued on " + p->label);
        }
        return Reply::success(p->label + " is " + p->playback);
    }
    if (a == "stop") {
        p->playback = p->queue.empty() ? "idle" : "paused";
        p->positionMs = 0;
        return Reply::success(p->label + " stopped");
    }
    if (a == "next" || a == "previous") {
        if (p->queue.empty()) {
            return Reply::refused("Nothing is queued on " + p->label);
        }
        if (a == "next") {
            p->index = (p->index + 1) % p->queue.size();
        } else if (p->positionMs <= 3000) {
            p->index = (p->index + p->queue.size() - 1) % p->queue.size();
        }
        p->positionMs = 0;
        return Reply::success(p->label + " skipped");
    }
    if (a == "seek") {
        if (!capable(*p, "seek", "canSeek")) {
            return Reply::refused("Seeking is not supported by " + p->label);
        }
        const auto target = number(argument(body, "positionMs"));
        if (!target) {
            return Reply::error(400, "seek needs a number \"positionMs\"");
        }
        const Track* t = currentTrack(*p);
        if (!t) {
            return Reply::refused("Nothing is playing on " + p->label);
        }
        // Held within the track before the conversion: a request may name any number.
        p->positionMs = std::llround(std::clamp(*target, 0.0, static_cast<double>(t->durationMs)));
        return Reply::success(p->label + " seeked");
    }
    if (a == "set_volume" || a == "setvolume" || a == "volume" || a == "volume_up" ||
        a == "volume_down") {
        if (!capable(*p, "volume", "canSetVolume")) {
            return Reply::refused("Volume is not supported by " + p->label);
        }
        double volume = p->volume;
        if (a == "volume_up" || a == "volume_down") {
            volume += a == "volume_up" ? 5 : -5;
        } else {
            const auto requested = number(argument(body, "volume"));
            if (!requested) {
                return Reply::error(400, action + " needs a number \"volume\"");
            }
            volume = *requested;
        }
        p->volume = std::clamp(std::round(volume), 0.0, 100.0);
        p->reportsVolume = true;
        return Reply::success(p->label + " volume set");
    }
    if (a == "mute" || a == "unmute" || a == "set_mute" || a == "toggle_mute") {
        if (!capable(*p, "mute", "canMute")) {
            return Reply::refused("Mute is not supported by " + p->label);
        }
        if (a == "mute" || a == "unmute") {
            p->muted = a == "mute";
        } else if (const auto* muted = argument(body, "muted"); muted && muted->is_bool()) {
            p->muted = muted->get_bool();
        } else {
            p->muted = !p->muted;
        }
        return Reply::success(p->muted ? p->label + " muted" : p->label + " unmuted");
    }
    if (a == "set_shuffle" || a == "shuffle") {
        if (!capable(*p, "queue", "canManageQueue")) {
            return Reply::refused("Shuffle is not supported by " + p->label);
        }
        const auto* shuffle = argument(body, "shuffle");
        p->shuffle = shuffle && shuffle->is_bool() ? shuffle->get_bool() : !p->shuffle;
        return Reply::success(p->shuffle ? "Shuffle on" : "Shuffle off");
    }
    if (a == "set_repeat" || a == "repeat") {
        if (!capable(*p, "queue", "canManageQueue")) {
            return Reply::refused("Repeat is not supported by " + p->label);
        }
        const std::string requested = text(argument(body, "repeat"));
        if (requested.empty()) {
            p->repeat = p->repeat == "off" ? "all" : p->repeat == "all" ? "one" : "off";
        } else {
            p->repeat = normalizedRepeat(requested);
        }
        return Reply::success("Repeat " + p->repeat);
    }
    return Reply::refused("Music action \"" + action + "\" is not supported by " + p->label);
}

Reply MusicModel::transfer(const json::object& body, std::int64_t nowMs) {
    Player* target = playerFromBody(body, "targetPlayerId", "target");
    if (!target) {
        return Reply::error(404, "Unknown target player");
    }
    if (!target->available) {
        return Reply::refused(target->label + " is not available right now");
    }
    Player* source = playerFromBody(body, "sourcePlayerId", "source");
    if (!source) {
        source = player(activeId_);
    }
    if (source && source != target) {
        settle(*source, nowMs);
        if (!source->queue.empty()) {
            target->queue = source->queue;
            target->index = source->index;
            target->positionMs = source->positionMs;
            target->anchorMs = nowMs;
            target->shuffle = source->shuffle;
            target->repeat = source->repeat;
            target->playback = "playing";
        }
        if (source->playback == "playing") {
            source->playback = "paused";
        }
    }
    activeId_ = target->id;
    return Reply::success("Music moved to " + target->label);
}

Reply MusicModel::shuffleListenLater(const json::object& body, std::int64_t nowMs) {
    Player* target = playerFromBody(body, "targetPlayerId", "target");
    if (!target) {
        return Reply::error(404, "Unknown target player");
    }
    if (listenLater_.empty()) {
        return Reply::refused("Listen Later is empty");
    }
    if (!target->available) {
        return Reply::refused(target->label + " is not available right now");
    }
    // A fixed rotation keeps the order predictable while still differing from the saved order.
    std::vector<std::string> queue = listenLater_;
    std::rotate(queue.begin(), queue.begin() + static_cast<long>(queue.size() / 2), queue.end());
    if (Player* previous = player(activeId_); previous && previous != target) {
        settle(*previous, nowMs);
        if (previous->playback == "playing") {
            previous->playback = "paused";
        }
    }
    startQueue(*target, std::move(queue), nowMs);
    target->shuffle = true;
    activeId_ = target->id;
    return Reply::success("Shuffling Listen Later on " + target->label);
}

Reply MusicModel::playPlaylist(const json::object& body, std::int64_t nowMs) {
    const auto* described = object(body.if_contains("playlist"));
    if (!described) {
        return Reply::error(400, "Missing \"playlist\" object");
    }
    const std::string id = text(described->if_contains("id"));
    const Playlist* playlist = nullptr;
    for (const auto& p : playlists_) {
        if (p.id == id) {
            playlist = &p;
        }
    }
    if (!playlist) {
        return Reply::error(404, "Unknown playlist " + id);
    }
    Player* target = playerFromBody(body, "targetPlayerId", "target");
    if (!target && !body.contains("target")) {
        target = player(activeId_);
    }
    if (!target) {
        return Reply::error(404, "Unknown target player");
    }
    if (!target->available) {
        return Reply::refused(target->label + " is not available right now");
    }
    if (Player* previous = player(activeId_); previous && previous != target) {
        settle(*previous, nowMs);
        if (previous->playback == "playing") {
            previous->playback = "paused";
        }
    }
    startQueue(*target, playlist->trackIds, nowMs);
    activeId_ = target->id;
    const std::string title = playlist->title.empty() ? playlist->name : playlist->title;
    return Reply::success("Playing " + title + " on " + target->label);
}

json::object MusicModel::renderPlayer(const Player& p, std::int64_t nowMs,
                                      const std::string& origin) const {
    json::object out{{"id", p.id},
                     {"label", p.label},
                     {"serviceKey", p.serviceKey},
                     {"targetType", p.targetType},
                     {"targetId", p.targetId},
                     {"available", p.available},
                     {"localBrowserPlayback", p.localBrowserPlayback},
                     {"playback", p.playback},
                     {"muted", p.muted},
                     {"shuffle", p.shuffle},
                     {"repeat", p.repeat},
                     {"lastUpdatedAt", nowMs}};
    if (!p.providerLabel.empty()) {
        out["providerLabel"] = p.providerLabel;
    }
    if (!p.providerFamily.empty()) {
        out["providerFamily"] = p.providerFamily;
    }
    if (p.reportsVolume) {
        out["volume"] = jsonNumber(p.volume);
    }
    if (!p.capabilities.is_null()) {
        out["capabilities"] = p.capabilities;
    }
    json::object metadata;
    if (const Track* t = currentTrack(p)) {
        out["title"] = t->title;
        out["artist"] = t->artist;
        out["subtitle"] = t->artist;
        out["album"] = t->album;
        if (!t->quality.empty()) {
            out["qualityLabel"] = t->quality;
        }
        out["contentId"] = t->id;
        out["contentType"] = "track";
        out["positionMs"] = position(p, nowMs);
        out["durationMs"] = t->durationMs;
        const std::string stream = "/media-services/library/stream/" + t->id;
        if (p.streamsLibrary) {
            out["streamUrl"] = stream;
            metadata["uri"] = stream;
        }
        metadata["contentId"] = t->id;
        switch (p.artwork) {
            case ArtworkStyle::RelativePath:
                out["artworkUrl"] = artworkPath(t->id);
                break;
            case ArtworkStyle::AbsoluteWide:
                out["artworkUrl"] = origin + artworkPath(t->id) + "?size=1000x500";
                break;
            case ArtworkStyle::MetadataOnly:
                metadata["artworkUrl"] = artworkPath(t->id) + "?size=300x300";
                break;
        }
    } else {
        out["positionMs"] = 0;
    }
    if (!p.providerFamily.empty()) {
        metadata["providerFamily"] = p.providerFamily;
    }
    out["metadata"] = std::move(metadata);

    json::array items;
    for (size_t i = p.index + 1; i < p.queue.size() && items.size() < 10; ++i) {
        const Track* t = track(p.queue[i]);
        if (!t) {
            continue;
        }
        json::object item{{"id", t->id}, {"title", t->title}, {"artist", t->artist}};
        // Half the items say where their artwork is inside "metadata", as some services do.
        if (i % 2 == 0) {
            item["metadata"] = json::object{{"artworkUrl", artworkPath(t->id) + "?size=200x200"}};
        } else {
            item["artworkUrl"] = artworkPath(t->id) + "?size=200x200";
        }
        items.push_back(std::move(item));
    }
    const auto remaining = p.queue.empty() ? 0 : p.queue.size() - p.index - 1;
    out["queue"] =
        json::object{{"items", std::move(items)}, {"total", remaining}, {"owned", p.queueOwned}};
    return out;
}

json::object MusicModel::render(std::int64_t nowMs, const std::string& origin) const {
    json::array players;
    json::value active;
    for (const auto& p : players_) {
        players.push_back(renderPlayer(p, nowMs, origin));
        if (p.id == activeId_) {
            active = players.back();
        }
    }
    json::object block{{"available", true},
                       {"players", std::move(players)},
                       {"listenLater", {{"trackCount", listenLater_.size()}}}};
    if (active.is_object()) {
        block["activePlayer"] = std::move(active);
    }
    return block;
}

json::array MusicModel::playlists() const {
    json::array out;
    for (const auto& p : playlists_) {
        json::object record{{"id", p.id}};
        if (!p.title.empty()) {
            record["title"] = p.title;
        }
        if (!p.name.empty()) {
            record["name"] = p.name;
        }
        if (!p.subtitle.empty()) {
            record["subtitle"] = p.subtitle;
        }
        // One playlist reports no count, to show the subtitle fallback.
        if (p.id != "pl-city") {
            record["metadata"] = json::object{{"trackCount", p.trackIds.size()}};
        }
        if (!p.trackIds.empty()) {
            record["artworkUrl"] = artworkPath(p.trackIds.front());
        }
        out.push_back(std::move(record));
    }
    return out;
}

}  // namespace hubsim

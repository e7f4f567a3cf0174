#pragma once

#include "Reply.h"

#include <boost/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace hubsim {

struct Track {
    std::string id;
    std::string title;
    std::string artist;
    std::string album;
    std::string quality;
    std::int64_t durationMs = 0;
};

struct Playlist {
    std::string id;
    /// Some playlists only have a "name", as older hub versions wrote them.
    std::string title;
    std::string name;
    std::string subtitle;
    std::vector<std::string> trackIds;
};

/// How a player reports where its cover art is.
enum class ArtworkStyle { RelativePath, AbsoluteWide, MetadataOnly };

struct Player {
    std::string id;
    std::string label;
    std::string serviceKey;
    std::string targetType;
    std::string targetId;
    std::string providerLabel;
    std::string providerFamily;
    bool available = true;
    bool localBrowserPlayback = false;
    /// Whether it serves the library stream of its track ("streamUrl").
    bool streamsLibrary = false;
    bool queueOwned = true;
    ArtworkStyle artwork = ArtworkStyle::RelativePath;
    /// Served as "capabilities" when not null.
    boost::json::value capabilities;
    double volume = 50;
    bool reportsVolume = true;
    bool muted = false;
    bool shuffle = false;
    std::string repeat = "off";
    /// "playing", "paused" or "idle".
    std::string playback = "idle";
    std::vector<std::string> queue;
    size_t index = 0;
    /// Position at `anchorMs` (wall-clock milliseconds); it advances from there while playing.
    std::int64_t positionMs = 0;
    std::int64_t anchorMs = 0;
};

/// The hub's music player: a library, playlists, the listen-later list and the outputs.
class MusicModel {
  public:
    /// The demo music setup, with `playlistCount` playlists (at least the demo's own).
    explicit MusicModel(std::int64_t nowMs, int playlistCount = 0);

    /// The "musicPlayer" block of the state document.
    boost::json::object render(std::int64_t nowMs, const std::string& origin) const;
    boost::json::array playlists() const;

    Reply command(const boost::json::object& body, std::int64_t nowMs);
    Reply transfer(const boost::json::object& body, std::int64_t nowMs);
    Reply shuffleListenLater(const boost::json::object& body, std::int64_t nowMs);
    Reply playPlaylist(const boost::json::object& body, std::int64_t nowMs);

    /// Moves playing players on to their next track when the current one ended; true when any did.
    bool advance(std::int64_t nowMs);

    Player* player(const std::string& id);
    const Player* activePlayer() const;
    std::int64_t position(const Player& player, std::int64_t nowMs) const;
    const Track* currentTrack(const Player& player) const;
    const std::vector<std::string>& listenLater() const { return listenLater_; }

    /// The library's track with `id`, or null.
    const Track* track(const std::string& id) const;

  private:
    Player* byTarget(const std::string& targetType, const std::string& targetId);
    Player* playerFromBody(const boost::json::object& body, const char* idKey,
                           const char* objectKey);
    void settle(Player& player, std::int64_t nowMs);
    void startQueue(Player& player, std::vector<std::string> queue, std::int64_t nowMs);
    boost::json::object renderPlayer(const Player& player, std::int64_t nowMs,
                                     const std::string& origin) const;
    bool capable(const Player& player, const char* name, const char* alias) const;

    std::vector<Track> tracks_;
    std::vector<Playlist> playlists_;
    std::vector<Player> players_;
    std::vector<std::string> listenLater_;
    std::string activeId_;
};

}  // namespace hubsim

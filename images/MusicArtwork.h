#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/Lifetime.h"
#include "platform/Task.h"
#include "platform/Url.h"
#include "platform/ui/Image.h"
#include "state/StateAccessors.h"

namespace corvix {

class OrbeluneClient;

/// Artwork is reduced to this many pixels on its longer side before it is cached.
inline constexpr int kMusicArtworkPixelDimension = 128;
/// The largest artwork body fetched; a longer one fails the transfer.
inline constexpr std::size_t kMusicArtworkMaxBodyBytes = 16u << 20;

/// The cache and task key of a player's or queue item's artwork: "artworkUrl", else
/// "metadata"."artworkUrl", else empty.
std::string musicArtworkKey(const JsonObject& player);
/// An absolute key unchanged (but for characters a URL cannot hold, encoded as `Url::parse`
/// reads them); otherwise the key resolved against `base` (so "/path" lands on the hub's
/// scheme, host and port); none when neither works.
std::optional<std::string> resolvedArtworkURL(std::string_view key, const Url& base);
/// The player's artwork from the shared cache (counting a hit or a miss), or null.
ImagePtr musicArtwork(const JsonObject& player);

/// How one artwork fetch ended.
struct ArtworkFetchResult {
    enum class Outcome { Stored, NoImage, TransferFailed, Cancelled };
    Outcome outcome = Outcome::NoImage;
    /// The reduced image (Stored only).
    ImagePtr image;
    /// The fetch's own task, to tell it from a newer fetch of the same key.
    const TaskState* task = nullptr;
};

/// Fetches `url` with the installed HTTP client, without the hub's token or headers, following
/// redirects and bounded by `kMusicArtworkMaxBodyBytes`, and reduces a 2xx body to
/// `maxPixelDimension`. `done` runs once on the main thread; after a cancel it always reports
/// Cancelled. Nothing is cached here.
TaskHandle fetchMusicArtwork(const std::string& url, std::function<void(ArtworkFetchResult)> done,
                             int maxPixelDimension = kMusicArtworkPixelDimension);

/// The status menu's artwork loads: the active player's artwork and a preload of the next
/// queued items, at most one load per key, into the shared artwork cache. Main thread only.
class MusicArtworkLoader {
  public:
    /// `refresh` is asked for after a main load stored its image.
    MusicArtworkLoader(const OrbeluneClient& client, std::function<void()> refresh);
    ~MusicArtworkLoader();
    MusicArtworkLoader(const MusicArtworkLoader&) = delete;
    MusicArtworkLoader& operator=(const MusicArtworkLoader&) = delete;

    /// Makes sure the player's artwork is cached or on its way, cancelling the loads of other
    /// keys; then (or, for a new load, once it stored its image when `preloadNext`) preloads.
    void loadMusicArtworkIfNeeded(const JsonObject& player, bool preloadNext);
    /// Starts loads for the artwork of the first three queued items (with at least two queued).
    void preloadNextTrackArtwork(const JsonObject& player);
    /// Cancels every running load whose key is not in `keys`.
    void cancelMusicArtworkTasks(const std::set<std::string, std::less<>>& keys);

    /// The running loads by key.
    std::map<std::string, TaskHandle, std::less<>> musicArtworkTasks;

  private:
    void start(const std::string& key, const std::string& url, bool isPreload, bool preloadNext,
               const JsonObject& player);
    void finish(const std::string& key, bool isPreload, bool preloadNext, const JsonObject& player,
                const ArtworkFetchResult& result);

    const OrbeluneClient& client_;
    const std::function<void()> refresh_;
    Lifetime lifetime_;
};

/// The notch player's own artwork loads into the shared cache: no events, no preload, and a
/// redraw instead of a refresh. Main thread only.
class NotchArtworkLoader {
  public:
    NotchArtworkLoader(const OrbeluneClient& client, std::function<void()> redraw);
    ~NotchArtworkLoader();
    NotchArtworkLoader(const NotchArtworkLoader&) = delete;
    NotchArtworkLoader& operator=(const NotchArtworkLoader&) = delete;

    /// Loads the player's artwork unless it is cached or loading; cancels the other loads.
    void loadArtwork(const JsonObject& player);
    /// Cancels every running load whose key is not in `keys`.
    void cancelArtworkTasks(const std::set<std::string, std::less<>>& keys);
    /// The player's cached artwork, without counting hits or misses.
    ImagePtr artworkFor(const JsonObject& player) const;

    std::map<std::string, TaskHandle, std::less<>> artworkTasks;

  private:
    const OrbeluneClient& client_;
    const std::function<void()> redraw_;
    Lifetime lifetime_;
};

}  // namespace corvix

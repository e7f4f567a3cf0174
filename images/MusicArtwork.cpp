#include "images/MusicArtwork.h"

#include <algorithm>
#include <vector>

#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"
#include "images/CostLimitedImageCache.h"
#include "images/ImageDownload.h"
#include "platform/HttpClient.h"

namespace corvix {

namespace {

/// Removes `key`'s task only when it is `task`: a late completion must not drop a newer load.
void removeOwnTask(std::map<std::string, TaskHandle, std::less<>>& tasks, const std::string& key,
                   const TaskState* task) {
    auto it = tasks.find(key);
    if (it != tasks.end() && it->second.state().get() == task) {
        tasks.erase(it);
    }
}

/// Cancels and drops the tasks whose key is not kept; returns how many.
std::int64_t cancelTasksExcept(std::map<std::string, TaskHandle, std::less<>>& tasks,
                               const std::set<std::string, std::less<>>& keep) {
    std::int64_t cancelled = 0;
    for (auto it = tasks.begin(); it != tasks.end();) {
        if (keep.contains(it->first)) {
            ++it;
            continue;
        }
        // Dropped before cancelling, so the completion finds nothing of its own to remove.
        TaskHandle task = std::move(it->second);
        it = tasks.erase(it);
        task.cancel();
        ++cancelled;
    }
    return cancelled;
}

void publishArtworkCacheSize() {
    RuntimeDiagnostics::menuBar().gauge("music_artwork_cache_entries",
                                        sharedMusicArtworkCache().count());
}

}  // namespace

std::string musicArtworkKey(const JsonObject& player) {
    const JsonObject* metadata = objectMember(player, "metadata");
    return string(player, "artworkUrl", metadata ? string(*metadata, "artworkUrl") : "");
}

std::optional<std::string> resolvedArtworkURL(std::string_view key, const Url& base) {
    if (auto parsed = Url::parse(key); parsed && parsed->isAbsolute()) {
        // As given, but with what a URL cannot hold encoded, as the parse read it.
        return encodeInvalidUrlCharacters(key);
    }
    if (auto resolved = base.resolve(key)) {
        return resolved->toString();
    }
    return std::nullopt;
}

ImagePtr musicArtwork(const JsonObject& player) {
    const std::string key = musicArtworkKey(player);
    if (key.empty()) {
        return nullptr;
    }
    ImagePtr image = sharedMusicArtworkCache().image(key);
    RuntimeDiagnostics::menuBar().count(image ? "music_artwork_cache_hit"
                                              : "music_artwork_cache_miss");
    return image;
}

TaskHandle fetchMusicArtwork(const std::string& url, std::function<void(ArtworkFetchResult)> done,
                             int maxPixelDimension) {
    using Outcome = ArtworkFetchResult::Outcome;
    return downloadImage(
        url, kMusicArtworkMaxBodyBytes,
        [maxPixelDimension, done = std::move(done)](Result<HttpResponse> r,
                                                    const TaskState* identity) {
            // Cancellation first: a cancelled load is neither a failure nor a picture to keep.
            if (!r.ok()) {
                done({isCancellationError(r.error()) ? Outcome::Cancelled : Outcome::TransferFailed,
                      nullptr, identity});
                return;
            }
            const HttpResponse& response = r.value();
            // An error page, even one carrying a picture, is not the artwork.
            if (response.status < 200 || response.status > 299) {
                done({Outcome::NoImage, nullptr, identity});
                return;
            }
            const std::vector<std::uint8_t> bytes(response.body.begin(), response.body.end());
            ImagePtr image = downsampledImage(bytes, maxPixelDimension);
            done({image ? Outcome::Stored : Outcome::NoImage, std::move(image), identity});
        });
}

// The menu's loads.

MusicArtworkLoader::MusicArtworkLoader(const OrbeluneClient& client, std::function<void()> refresh)
    : client_(client), refresh_(std::move(refresh)) {}

MusicArtworkLoader::~MusicArtworkLoader() {
    for (auto& [key, task] : musicArtworkTasks) {
        task.cancel();
    }
}

void MusicArtworkLoader::loadMusicArtworkIfNeeded(const JsonObject& player, bool preloadNext) {
    const std::string key = musicArtworkKey(player);
    if (key.empty()) {
        cancelMusicArtworkTasks({});
        preloadNextTrackArtwork(player);
        return;
    }
    cancelMusicArtworkTasks({key});
    if (sharedMusicArtworkCache().image(key) || musicArtworkTasks.contains(key)) {
        preloadNextTrackArtwork(player);
        return;
    }
    const std::optional<std::string> url = resolvedArtworkURL(key, client_.baseURL());
    if (!url) {
        preloadNextTrackArtwork(player);
        return;
    }
    RuntimeDiagnostics::menuBar().event("music_artwork_load_started");
    start(key, *url, false, preloadNext, player);
}

void MusicArtworkLoader::preloadNextTrackArtwork(const JsonObject& player) {
    const JsonObject* queue = objectMember(player, "queue");
    if (!queue) {
        return;
    }
    const ObjectList items = array(*queue, "items");
    if (items.size() < 2) {
        return;
    }
    for (std::size_t i = 0; i < std::min<std::size_t>(items.size(), 3); ++i) {
        const std::string key = musicArtworkKey(*items[i]);
        if (key.empty() || sharedMusicArtworkCache().image(key) ||
            musicArtworkTasks.contains(key)) {
            continue;
        }
        const std::optional<std::string> url = resolvedArtworkURL(key, client_.baseURL());
        if (!url) {
            continue;
        }
        RuntimeDiagnostics::menuBar().event("music_artwork_preload_started");
        start(key, *url, true, false, *items[i]);
    }
}

void MusicArtworkLoader::cancelMusicArtworkTasks(const std::set<std::string, std::less<>>& keys) {
    if (const std::int64_t cancelled = cancelTasksExcept(musicArtworkTasks, keys)) {
        RuntimeDiagnostics::menuBar().count("music_artwork_request_cancelled", cancelled);
    }
}

void MusicArtworkLoader::start(const std::string& key, const std::string& url, bool isPreload,
                               bool preloadNext, const JsonObject& player) {
    // A preload needs nothing of the record; the main load keeps it for the preload after it.
    JsonObject record = isPreload ? JsonObject() : player;
    std::weak_ptr<void> alive = lifetime_.weak();
    musicArtworkTasks[key] =
        fetchMusicArtwork(url, [this, alive, key, isPreload, preloadNext,
                                record = std::move(record)](ArtworkFetchResult result) {
            if (!alive.lock()) {
                return;
            }
            finish(key, isPreload, preloadNext, record, result);
        });
}

void MusicArtworkLoader::finish(const std::string& key, bool isPreload, bool preloadNext,
                                const JsonObject& player, const ArtworkFetchResult& result) {
    removeOwnTask(musicArtworkTasks, key, result.task);
    auto& diagnostics = RuntimeDiagnostics::menuBar();
    switch (result.outcome) {
        case ArtworkFetchResult::Outcome::Cancelled:
        case ArtworkFetchResult::Outcome::NoImage:
            return;
        case ArtworkFetchResult::Outcome::TransferFailed:
            if (!isPreload) {
                diagnostics.count("music_artwork_load_failed");
            }
            return;
        case ArtworkFetchResult::Outcome::Stored:
            break;
    }
    sharedMusicArtworkCache().insert(result.image, key);
    publishArtworkCacheSize();
    if (isPreload) {
        return;
    }
    diagnostics.event("music_artwork_load_completed");
    if (refresh_) {
        refresh_();
    }
    if (preloadNext) {
        preloadNextTrackArtwork(player);
    }
}

// The notch player's loads.

NotchArtworkLoader::NotchArtworkLoader(const OrbeluneClient& client, std::function<void()> redraw)
    : client_(client), redraw_(std::move(redraw)) {}

NotchArtworkLoader::~NotchArtworkLoader() {
    for (auto& [key, task] : artworkTasks) {
        task.cancel();
    }
}

void NotchArtworkLoader::loadArtwork(const JsonObject& player) {
    const std::string key = musicArtworkKey(player);
    if (key.empty()) {
        cancelArtworkTasks({});
        return;
    }
    cancelArtworkTasks({key});
    if (sharedMusicArtworkCache().image(key) || artworkTasks.contains(key)) {
        return;
    }
    const std::optional<std::string> url = resolvedArtworkURL(key, client_.baseURL());
    if (!url) {
        return;
    }
    std::weak_ptr<void> alive = lifetime_.weak();
    artworkTasks[key] = fetchMusicArtwork(*url, [this, alive, key](ArtworkFetchResult result) {
        if (!alive.lock()) {
            return;
        }
        removeOwnTask(artworkTasks, key, result.task);
        if (result.outcome != ArtworkFetchResult::Outcome::Stored) {
            return;
        }
        sharedMusicArtworkCache().insert(result.image, key);
        publishArtworkCacheSize();
        if (redraw_) {
            redraw_();
        }
    });
}

void NotchArtworkLoader::cancelArtworkTasks(const std::set<std::string, std::less<>>& keys) {
    if (const std::int64_t cancelled = cancelTasksExcept(artworkTasks, keys)) {
        RuntimeDiagnostics::menuBar().count("notch_artwork_request_cancelled", cancelled);
    }
}

ImagePtr NotchArtworkLoader::artworkFor(const JsonObject& player) const {
    const std::string key = musicArtworkKey(player);
    return key.empty() ? nullptr : sharedMusicArtworkCache().image(key);
}

}  // namespace corvix

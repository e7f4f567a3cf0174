#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Image.h"

namespace corvix {

/// Decoded images bounded by an estimate of their memory and by a number of entries; the least
/// recently read or inserted image goes first. Not locked: main thread only.
class CostLimitedImageCache {
  public:
    struct Entry {
        ImagePtr image;
        std::int64_t cost = 0;
        std::uint64_t lastAccess = 0;
    };

    CostLimitedImageCache(std::int64_t costLimit, std::int64_t countLimit,
                          std::function<void()> onEviction = {});
    CostLimitedImageCache(const CostLimitedImageCache&) = delete;
    CostLimitedImageCache& operator=(const CostLimitedImageCache&) = delete;

    std::int64_t count() const { return static_cast<std::int64_t>(entries_.size()); }
    std::int64_t cost() const { return totalCost_; }
    std::int64_t costLimit() const { return costLimit_; }
    std::int64_t countLimit() const { return countLimit_; }

    /// The cached image, which becomes the most recently used; null when absent.
    ImagePtr image(std::string_view key);
    /// Stores `image` under `key`, replacing any entry of that key, then evicts down to the
    /// limits (the new image last, so one too large for the limit alone is evicted too).
    void insert(ImagePtr image, std::string_view key);

  private:
    std::map<std::string, Entry, std::less<>> entries_;
    std::int64_t totalCost_ = 0;
    std::uint64_t accessSequence_ = 0;
    const std::int64_t costLimit_;
    const std::int64_t countLimit_;
    const std::function<void()> onEviction_;
};

/// The music artwork of players and queues: 4 MiB, 64 entries. Created on first use.
CostLimitedImageCache& sharedMusicArtworkCache();
/// The app icons of media devices: 4 MiB, 96 entries. Created on first use.
CostLimitedImageCache& sharedMediaAppIconCache();
/// Drops both shared caches so the next use creates them empty (tests).
void resetSharedImageCaches();

/// The estimated decoded size in bytes: four bytes for every pixel of the largest bitmap (or of
/// the point size of an image without bitmaps); at least 1.
std::int64_t decodedImageCost(const Image& image);
/// The image in `data` reduced so its longer side has at most `maxPixelDimension` pixels
/// (never enlarged), through the installed image service; null when it does not decode.
ImagePtr downsampledImage(const std::vector<std::uint8_t>& data, int maxPixelDimension);

}  // namespace corvix

#include "images/CostLimitedImageCache.h"

#include <algorithm>
#include <memory>

#include "app/RuntimeDiagnostics.h"
#include "platform/PlatformServices.h"
#include "platform/ui/GraphicsContext.h"

namespace corvix {

CostLimitedImageCache::CostLimitedImageCache(std::int64_t costLimit, std::int64_t countLimit,
                                             std::function<void()> onEviction)
    : costLimit_(costLimit), countLimit_(countLimit), onEviction_(std::move(onEviction)) {}

ImagePtr CostLimitedImageCache::image(std::string_view key) {
    auto it = entries_.find(key);
    if (it == entries_.end()) {
        return nullptr;
    }
    it->second.lastAccess = ++accessSequence_;
    return it->second.image;
}

void CostLimitedImageCache::insert(ImagePtr image, std::string_view key) {
    if (!image) {
        return;
    }
    if (auto it = entries_.find(key); it != entries_.end()) {
        totalCost_ -= it->second.cost;
        entries_.erase(it);
    }
    const std::int64_t cost = decodedImageCost(*image);
    entries_.insert_or_assign(std::string(key), Entry{std::move(image), cost, ++accessSequence_});
    totalCost_ += cost;
    while (!entries_.empty() && (count() > countLimit_ || totalCost_ > costLimit_)) {
        auto oldest = std::min_element(
            entries_.begin(), entries_.end(),
            [](const auto& a, const auto& b) { return a.second.lastAccess < b.second.lastAccess; });
        totalCost_ -= oldest->second.cost;
        entries_.erase(oldest);
        if (onEviction_) {
            onEviction_();
        }
    }
}

namespace {

std::unique_ptr<CostLimitedImageCache>& musicArtworkSlot() {
    static std::unique_ptr<CostLimitedImageCache> cache;
    return cache;
}

std::unique_ptr<CostLimitedImageCache>& mediaAppIconSlot() {
    static std::unique_ptr<CostLimitedImageCache> cache;
    return cache;
}

constexpr std::int64_t kSharedCacheCostLimit = 4 * 1024 * 1024;

CostLimitedImageCache& shared(std::unique_ptr<CostLimitedImageCache>& slot,
                              std::int64_t countLimit) {
    if (!slot) {
        slot = std::make_unique<CostLimitedImageCache>(kSharedCacheCostLimit, countLimit, [] {
            RuntimeDiagnostics::menuBar().count("image_cache_eviction");
        });
    }
    return *slot;
}

}  // namespace

CostLimitedImageCache& sharedMusicArtworkCache() {
    return shared(musicArtworkSlot(), 64);
}

CostLimitedImageCache& sharedMediaAppIconCache() {
    return shared(mediaAppIconSlot(), 96);
}

void resetSharedImageCaches() {
    musicArtworkSlot().reset();
    mediaAppIconSlot().reset();
}

std::int64_t decodedImageCost(const Image& image) {
    const PixelSize pixels = pixelDimensions(image);
    return std::max<std::int64_t>(4 * std::int64_t(pixels.width) * pixels.height, 1);
}

ImagePtr downsampledImage(const std::vector<std::uint8_t>& data, int maxPixelDimension) {
    ImageService* images = platformServices().images;
    if (!images || data.empty()) {
        return nullptr;
    }
    return images->decodeReduced(data, maxPixelDimension);
}

}  // namespace corvix

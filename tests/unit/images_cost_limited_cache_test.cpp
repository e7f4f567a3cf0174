#include <gtest/gtest.h>

#include "HubTestSupport.h"
#include "MenuTestSupport.h"
#include "images/CostLimitedImageCache.h"
#include "platform/testing/HeadlessUiServices.h"

namespace corvix {
namespace {

using testing::HeadlessPlatform;

ImagePtr bitmapImage(int w, int h) {
    return Image::withBitmap(BitmapRep{w, h, {}}, {double(w), double(h)});
}

std::string key(int i) {
    return "art-" + std::to_string(i);
}

/// The first bytes of a PNG file of that size: enough for the headless decoder.
std::vector<std::uint8_t> pngHeader(std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> d = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a,
                                   0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (std::uint32_t v : {w, h}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            d.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    }
    d.insert(d.end(), {8, 6, 0, 0, 0});
    return d;
}

TEST(CostLimitedImageCacheTest, EvictsTheLeastRecentlyUsedAndCountsEachEviction) {
    HeadlessPlatform platform;
    CostLimitedImageCache& cache = sharedMusicArtworkCache();
    EXPECT_EQ(cache.countLimit(), 64);
    EXPECT_EQ(cache.costLimit(), 4 * 1024 * 1024);
    for (int i = 0; i < 64; ++i) {
        cache.insert(bitmapImage(128, 128), key(i));
    }
    EXPECT_EQ(cache.count(), 64);
    EXPECT_EQ(cache.cost(), 64 * 65536);
    EXPECT_TRUE(cache.image(key(0)));  // protects the oldest insert
    cache.insert(bitmapImage(128, 128), key(64));
    EXPECT_EQ(cache.count(), 64);
    EXPECT_TRUE(cache.image(key(0)));
    EXPECT_FALSE(cache.image(key(1)));
    EXPECT_TRUE(cache.image(key(64)));
    EXPECT_EQ(RuntimeDiagnostics::menuBar().counters().at("image_cache_eviction"), 1);

    // Replacing a key is no eviction; the cost is the new image's.
    cache.insert(bitmapImage(10, 10), key(2));
    EXPECT_EQ(cache.count(), 64);
    EXPECT_EQ(cache.cost(), 63 * 65536 + 400);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().counters().at("image_cache_eviction"), 1);
}

TEST(CostLimitedImageCacheTest, EvictsByCostAndDropsAnImageTooLargeOnItsOwn) {
    int evictions = 0;
    CostLimitedImageCache cache(1000, 10, [&] { ++evictions; });
    cache.insert(bitmapImage(10, 10), "a");  // 400
    cache.insert(bitmapImage(10, 10), "b");  // 800
    cache.insert(bitmapImage(10, 5), "c");   // 1000: at the limit
    EXPECT_EQ(evictions, 0);
    cache.insert(bitmapImage(1, 1), "d");  // 1004: "a" goes
    EXPECT_EQ(evictions, 1);
    EXPECT_FALSE(cache.image("a"));
    EXPECT_EQ(cache.cost(), 604);

    cache.insert(bitmapImage(20, 20), "huge");  // 1600 alone
    EXPECT_EQ(cache.count(), 0);
    EXPECT_EQ(cache.cost(), 0);
    EXPECT_EQ(evictions, 5);
    cache.insert(nullptr, "none");
    EXPECT_EQ(cache.count(), 0);
}

TEST(CostLimitedImageCacheTest, CostCountsPixelsOfTheLargestBitmapElseRoundedPoints) {
    EXPECT_EQ(decodedImageCost(*Image::drawn({10.2, 3}, nullptr)), 132);
    EXPECT_EQ(decodedImageCost(*Image::drawn({0.3, 0}, nullptr)), 4);
    auto image = bitmapImage(8, 8);
    image->addBitmap(BitmapRep{16, 2, {}});
    image->addBitmap(BitmapRep{32, 32, {}});
    image->setSize({1, 1});  // points do not count when there are bitmaps
    EXPECT_EQ(decodedImageCost(*image), 4 * 32 * 32);
}

TEST(CostLimitedImageCacheTest, DownsampledImagesKeepTheirProportionsAndAreNeverEnlarged) {
    HeadlessPlatform platform;
    HeadlessUiServices ui;
    PlatformServices services = platformServices();
    ui.installInto(services);
    installPlatformServices(services);
    const struct {
        std::uint32_t w, h;
        int n;
        PixelSize expected;
    } cases[] = {
        {1000, 500, 128, {128, 64}},  {3, 1000, 128, {1, 128}},   {100, 40, 128, {100, 40}},
        {500, 1000, 256, {128, 256}}, {255, 170, 128, {128, 85}}, {2000, 2000, 128, {128, 128}},
    };
    for (const auto& c : cases) {
        ImagePtr image = downsampledImage(pngHeader(c.w, c.h), c.n);
        ASSERT_TRUE(image) << c.w << "x" << c.h;
        ASSERT_EQ(image->bitmaps().size(), 1u);
        EXPECT_EQ((PixelSize{image->bitmaps()[0].pixelsWide, image->bitmaps()[0].pixelsHigh}),
                  c.expected)
            << c.w << "x" << c.h;
        EXPECT_EQ(image->size(), (Size{double(c.expected.width), double(c.expected.height)}));
    }
    EXPECT_FALSE(downsampledImage({'<', 'h', 't', 'm', 'l', '>'}, 128));
    EXPECT_FALSE(downsampledImage({}, 128));
}

TEST(CostLimitedImageCacheTest, TheFullMenuBuildPublishesTheCacheSizes) {
    testing::MenuHarness menu;
    for (int i = 0; i < 3; ++i) {
        sharedMusicArtworkCache().insert(bitmapImage(64, 64), key(i));
    }
    sharedMediaAppIconCache().insert(bitmapImage(256, 256), "icon");
    menu.build("empty-state.json");
    const auto gauges = RuntimeDiagnostics::menuBar().gauges();
    EXPECT_EQ(gauges.at("music_artwork_cache_entries"), 3);
    EXPECT_EQ(gauges.at("media_app_icon_cache_entries"), 1);
}

}  // namespace
}  // namespace corvix

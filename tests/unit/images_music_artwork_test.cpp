#include <gtest/gtest.h>

#include "HubTestSupport.h"
#include "MenuTestSupport.h"
#include "images/CostLimitedImageCache.h"
#include "images/MusicArtwork.h"
#include "platform/testing/HeadlessUiServices.h"

namespace corvix {
namespace {

JsonObject object(std::string_view text) {
    return parseJson(text).value().as_object();
}

/// The first bytes of a PNG file of that size: enough for the headless decoder.
std::string png(std::uint32_t w, std::uint32_t h) {
    std::string d = "\x89PNG\r\n\x1a\n";
    d.append({0, 0, 0, 13, 'I', 'H', 'D', 'R'});
    for (std::uint32_t v : {w, h}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            d.push_back(static_cast<char>(v >> shift));
        }
    }
    d.append({8, 6, 0, 0, 0});
    return d;
}

constexpr const char* kHub = "http://127.0.0.1:8080";

/// The headless platform with an image service, a client of the default hub, and the menu's
/// loader whose refresh requests are counted.
struct ArtworkHarness {
    ArtworkHarness() {
        PlatformServices services = platformServices();
        ui.installInto(services);
        installPlatformServices(services);
        client = platform.makeClient();
        loader = std::make_unique<MusicArtworkLoader>(*client, [this] { ++refreshes; });
    }
    std::int64_t counter(const std::string& name) const {
        const auto counters = RuntimeDiagnostics::menuBar().counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }
    std::size_t events(std::string_view name) const {
        std::size_t n = 0;
        for (const auto& event : RuntimeDiagnostics::menuBar().recentEvents()) {
            n += event.name == name;
        }
        return n;
    }
    std::vector<std::string> requestedUrls() const {
        std::vector<std::string> urls;
        for (const auto& t : platform.http.transfers()) {
            urls.push_back(t->request.url);
        }
        return urls;
    }
    std::shared_ptr<FakeHttpClient::Transfer> transferFor(std::string_view url) const {
        for (const auto& t : platform.http.transfers()) {
            if (t->request.url == url && !t->finished) {
                return t;
            }
        }
        return nullptr;
    }

    testing::HeadlessPlatform platform;
    HeadlessUiServices ui;
    std::unique_ptr<OrbeluneClient> client;
    std::unique_ptr<MusicArtworkLoader> loader;
    int refreshes = 0;
};

TEST(MusicArtworkTest, KeysComeFromThePlayerOrItsMetadataAndResolveAgainstTheHub) {
    EXPECT_EQ(musicArtworkKey(object(R"({"artworkUrl":"a","metadata":{"artworkUrl":"b"}})")), "a");
    EXPECT_EQ(musicArtworkKey(object(R"({"metadata":{"artworkUrl":"/art/b.png"}})")), "/art/b.png");
    EXPECT_EQ(musicArtworkKey(object(R"({"metadata":"x"})")), "");
    const Url base = *Url::parseAbsolute("http://hub.local:8080/app/os/mac-control");
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"https://cdn.example/a.png?x=1", "https://cdn.example/a.png?x=1"},
        {"/media-services/artwork/t.png?size=1000x500",
         "http://hub.local:8080/media-services/artwork/t.png?size=1000x500"},
        {"art/x.png", "http://hub.local:8080/app/os/art/x.png"},
        {"//other.host/x.png", "http://other.host/x.png"},
        {"https://cdn.example/My Song.png", "https://cdn.example/My%20Song.png"},
        {"not an address", "http://hub.local:8080/app/os/not%20an%20address"},
        {"1bad:scheme", std::nullopt},
        {"http://host:port/x.png", std::nullopt},
    };
    for (const auto& [key, url] : cases) {
        EXPECT_EQ(resolvedArtworkURL(key, base), url) << key;
    }
}

TEST(MusicArtworkTest, TwoBuildsStartOneBareGetAndTheStoredImageIsDrawnNext) {
    ArtworkHarness h;
    const JsonObject player = object(R"({"metadata":{"artworkUrl":"/art/1.png?size=1000x500"}})");
    EXPECT_FALSE(musicArtwork(player));
    h.loader->loadMusicArtworkIfNeeded(player, true);
    h.loader->loadMusicArtworkIfNeeded(player, true);
    ASSERT_EQ(h.platform.http.transfers().size(), 1u);
    const HttpRequest& request = h.platform.http.last()->request;
    EXPECT_EQ(request.url, std::string(kHub) + "/art/1.png?size=1000x500");
    EXPECT_EQ(request.method, "GET");
    EXPECT_TRUE(request.headers.empty()) << "no token, no hub headers";
    EXPECT_TRUE(request.followRedirects);
    EXPECT_EQ(request.maxBodyBytes, kMusicArtworkMaxBodyBytes);
    EXPECT_EQ(h.events("music_artwork_load_started"), 1u);

    h.platform.http.respond(h.platform.http.last(), 200, png(1000, 500));
    h.platform.loop.runUntilIdle();
    EXPECT_TRUE(h.loader->musicArtworkTasks.empty());
    EXPECT_EQ(h.refreshes, 1);
    EXPECT_EQ(h.events("music_artwork_load_completed"), 1u);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("music_artwork_cache_entries"), 1);
    ImagePtr image = musicArtwork(player);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitmaps()[0].pixelsWide, 128);
    EXPECT_EQ(image->bitmaps()[0].pixelsHigh, 64);
    EXPECT_EQ(h.counter("music_artwork_cache_hit"), 1);
    EXPECT_EQ(h.counter("music_artwork_cache_miss"), 1);

    // Cached now: another build fetches nothing.
    h.loader->loadMusicArtworkIfNeeded(player, true);
    EXPECT_EQ(h.platform.http.transfers().size(), 1u);
}

TEST(MusicArtworkTest, ATrackChangeCancelsTheOldLoadWithoutCountingAFailure) {
    ArtworkHarness h;
    const JsonObject first = object(R"({"artworkUrl":"/art/1.png"})");
    const JsonObject second = object(R"({"artworkUrl":"/art/2.png"})");
    h.loader->loadMusicArtworkIfNeeded(first, true);
    auto firstLoad = h.platform.http.last();
    h.loader->loadMusicArtworkIfNeeded(second, true);
    EXPECT_EQ(h.counter("music_artwork_request_cancelled"), 1);
    EXPECT_TRUE(firstLoad->task->isCancelled());
    // Back to the first track before the cancelled load has finished: a new load of that key.
    h.loader->loadMusicArtworkIfNeeded(first, true);
    EXPECT_EQ(h.counter("music_artwork_request_cancelled"), 2);
    const TaskState* newer = h.loader->musicArtworkTasks.at("/art/1.png").state().get();
    h.platform.loop.runUntilIdle();
    // The cancelled load's end neither counts as a failure nor drops the newer load.
    EXPECT_EQ(h.counter("music_artwork_load_failed"), 0);
    ASSERT_TRUE(h.loader->musicArtworkTasks.contains("/art/1.png"));
    EXPECT_EQ(h.loader->musicArtworkTasks.at("/art/1.png").state().get(), newer);
    EXPECT_EQ(h.loader->musicArtworkTasks.size(), 1u);

    h.platform.http.respond(h.platform.http.last(), 200, png(300, 300));
    h.platform.loop.runUntilIdle();
    EXPECT_TRUE(sharedMusicArtworkCache().image("/art/1.png"));
    EXPECT_FALSE(sharedMusicArtworkCache().image("/art/2.png"));

    // A player without artwork cancels everything.
    h.loader->loadMusicArtworkIfNeeded(second, true);
    h.loader->loadMusicArtworkIfNeeded(object("{}"), true);
    EXPECT_TRUE(h.loader->musicArtworkTasks.empty());
    EXPECT_EQ(h.counter("music_artwork_request_cancelled"), 3);
}

TEST(MusicArtworkTest, OnlyTwoHundredsAreCachedAndOnlyTransferFailuresCount) {
    const struct {
        const char* name;
        std::optional<int> status;  // none: the transfer fails
        std::string body;
        bool stored;
        int failures;
    } cases[] = {
        {"ok", 200, png(64, 64), true, 0},
        {"html 404", 404, "<html><body>Not Found</body></html>", false, 0},
        {"picture with 500", 500, png(64, 64), false, 0},
        {"not an image", 200, "GIF? no", false, 0},
        {"too large", 200, png(64, 64) + std::string(kMusicArtworkMaxBodyBytes, '\0'), false, 1},
        {"refused", std::nullopt, "", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ArtworkHarness h;
        const JsonObject player = object(R"({"artworkUrl":"http://art.example/x.png"})");
        h.loader->loadMusicArtworkIfNeeded(player, false);
        if (c.status) {
            h.platform.http.respond(h.platform.http.last(), *c.status, c.body);
        } else {
            h.platform.http.respond(h.platform.http.last(),
                                    Error{kUrlErrorDomain, kUrlErrorCannotConnectToHost, "down"});
        }
        h.platform.loop.runUntilIdle();
        EXPECT_EQ(bool(sharedMusicArtworkCache().image("http://art.example/x.png")), c.stored);
        EXPECT_EQ(h.counter("music_artwork_load_failed"), c.failures);
        EXPECT_EQ(h.refreshes, c.stored ? 1 : 0);
        // The key is free again, so the next build may try once more.
        EXPECT_TRUE(h.loader->musicArtworkTasks.empty());
    }
}

TEST(MusicArtworkTest, ThePreloadFollowsTheMainLoadAndTakesAtMostThreeQueuedItems) {
    ArtworkHarness h;
    sharedMusicArtworkCache().insert(Image::withBitmap(BitmapRep{8, 8, {}}, {8, 8}), "/q/2.png");
    const JsonObject player = object(R"({"artworkUrl":"/now.png","queue":{"items":[
        {"artworkUrl":"/q/1.png"},
        {"metadata":{"artworkUrl":"/q/2.png"}},
        {"artworkUrl":""},
        {"artworkUrl":"/q/4.png"},
        {"artworkUrl":"/q/5.png"}]}})");
    h.loader->loadMusicArtworkIfNeeded(player, true);
    EXPECT_EQ(h.requestedUrls(), (std::vector<std::string>{std::string(kHub) + "/now.png"}));
    h.platform.http.respond(h.platform.http.last(), 200, png(600, 600));
    h.platform.loop.runUntilIdle();
    // /q/2.png is cached and the third item has no artwork.
    EXPECT_EQ(h.requestedUrls(), (std::vector<std::string>{std::string(kHub) + "/now.png",
                                                           std::string(kHub) + "/q/1.png"}));
    EXPECT_EQ(h.events("music_artwork_preload_started"), 1u);

    // A preload stores its image without a refresh or a further preload, and a failed one is
    // not counted.
    h.platform.http.respond(h.transferFor(std::string(kHub) + "/q/1.png"), 200, png(50, 50));
    h.platform.loop.runUntilIdle();
    EXPECT_TRUE(sharedMusicArtworkCache().image("/q/1.png"));
    EXPECT_EQ(h.refreshes, 1);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().gauges().at("music_artwork_cache_entries"), 3);

    const JsonObject single =
        object(R"({"artworkUrl":"/now.png","queue":{"items":[{"artworkUrl":"/q/9.png"}]}})");
    h.loader->preloadNextTrackArtwork(single);
    EXPECT_EQ(h.platform.http.transfers().size(), 2u);

    // Loading the cached main artwork preloads at once.
    const JsonObject other = object(R"({"artworkUrl":"/now.png","queue":{"items":[
        {"artworkUrl":"/q/7.png"},{"artworkUrl":"/q/8.png"}]}})");
    h.loader->loadMusicArtworkIfNeeded(other, true);
    EXPECT_EQ(h.platform.http.transfers().size(), 4u);
    h.platform.http.respond(h.transferFor(std::string(kHub) + "/q/7.png"),
                            Error{kUrlErrorDomain, kUrlErrorTimedOut, "slow"});
    h.platform.loop.runUntilIdle();
    EXPECT_EQ(h.counter("music_artwork_load_failed"), 0);
}

TEST(MusicArtworkTest, LoadsEndingAfterTheirOwnerStoreNothing) {
    ArtworkHarness h;
    h.loader->loadMusicArtworkIfNeeded(object(R"({"artworkUrl":"/gone.png"})"), true);
    auto transfer = h.platform.http.last();
    h.loader.reset();
    EXPECT_TRUE(transfer->task->isCancelled());
    h.platform.http.respond(transfer, 200, png(10, 10));
    h.platform.loop.runUntilIdle();
    EXPECT_FALSE(sharedMusicArtworkCache().image("/gone.png"));
    EXPECT_EQ(h.refreshes, 0);
}

TEST(MusicArtworkTest, TheNotchLoaderRedrawsAndCountsItsOwnCancellations) {
    ArtworkHarness h;
    int redraws = 0;
    NotchArtworkLoader notch(*h.client, [&] { ++redraws; });
    const JsonObject first = object(R"({"artworkUrl":"/n/1.png"})");
    notch.loadArtwork(first);
    notch.loadArtwork(first);
    EXPECT_EQ(h.platform.http.transfers().size(), 1u);
    EXPECT_TRUE(h.platform.http.last()->request.headers.empty());
    notch.loadArtwork(object(R"({"artworkUrl":"/n/2.png"})"));
    EXPECT_EQ(h.counter("notch_artwork_request_cancelled"), 1);
    EXPECT_EQ(h.counter("music_artwork_request_cancelled"), 0);
    h.platform.http.respond(h.platform.http.last(), 200, png(1000, 500));
    h.platform.loop.runUntilIdle();
    EXPECT_EQ(redraws, 1);
    EXPECT_TRUE(notch.artworkTasks.empty());
    ImagePtr image = notch.artworkFor(object(R"({"artworkUrl":"/n/2.png"})"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{128, 64}));
    EXPECT_FALSE(notch.artworkFor(first));
    EXPECT_EQ(h.counter("music_artwork_cache_hit") + h.counter("music_artwork_cache_miss"), 0);
    notch.loadArtwork(object("{}"));
    EXPECT_EQ(h.counter("notch_artwork_request_cancelled"), 1);
}

TEST(MusicArtworkTest, AddressesWithSpacesOrNonAsciiNamesAreFetchedEncodedAndCachedByTheirKey) {
    ArtworkHarness h;
    NotchArtworkLoader notch(*h.client, [] {});
    const std::pair<const char*, std::string> cases[] = {
        {"/art/My Song.jpg", std::string(kHub) + "/art/My%20Song.jpg"},
        {"/art/Beyonc\xC3\xA9.jpg", std::string(kHub) + "/art/Beyonc%C3%A9.jpg"},
        {"https://cdn.example/Sigur R\xC3\xB3s/100%.jpg",
         "https://cdn.example/Sigur%20R%C3%B3s/100%25.jpg"},
        {"https://cdn.example/already%20encoded.jpg", "https://cdn.example/already%20encoded.jpg"},
    };
    for (const auto& [address, requested] : cases) {
        SCOPED_TRACE(address);
        const JsonObject player{{"artworkUrl", address}};
        h.loader->loadMusicArtworkIfNeeded(player, false);
        ASSERT_TRUE(h.platform.http.last());
        EXPECT_EQ(h.platform.http.last()->request.url, requested);
        h.platform.http.respond(h.platform.http.last(), 200, png(300, 300));
        h.platform.loop.runUntilIdle();
        // The raw text stays the key: the menu and the notch find the picture by it.
        EXPECT_TRUE(musicArtwork(player));
        EXPECT_TRUE(notch.artworkFor(player));
    }
    // The notch's own loader asks for the same encoded address.
    notch.loadArtwork(JsonObject{{"artworkUrl", "/n/Caf\xC3\xA9 Noir.png"}});
    EXPECT_EQ(h.platform.http.last()->request.url, std::string(kHub) + "/n/Caf%C3%A9%20Noir.png");
    EXPECT_EQ(h.counter("music_artwork_load_failed"), 0);
}

TEST(MusicArtworkTest, TheMenuBuildersLoaderAsksTheBuilderForARefresh) {
    testing::MenuHarness menu;
    HeadlessUiServices ui;
    PlatformServices services = platformServices();
    services.images = &ui.images;
    installPlatformServices(services);
    menu.builder->musicArtworkLoader.loadMusicArtworkIfNeeded(
        object(R"({"artworkUrl":"/art/menu.png"})"), true);
    ASSERT_EQ(menu.platform.http.transfers().size(), 1u);
    menu.platform.http.respond(menu.platform.http.last(), 200, png(256, 256));
    menu.platform.loop.runUntilIdle();
    EXPECT_EQ(menu.refreshes, 1);
    EXPECT_TRUE(sharedMusicArtworkCache().image("/art/menu.png"));
}

}  // namespace
}  // namespace corvix

#include <gtest/gtest.h>

#include <httplib.h>

#include <QImage>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "Media.h"
#include "Server.h"
#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"
#include "images/CostLimitedImageCache.h"
#include "images/MusicArtwork.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/ThreadRunLoop.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/qt/QtDesktopServices.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;

/// The simulator, the curl client on a real run loop and the Qt image service, installed.
class QtArtworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hubsim::ServerOptions options;
        options.token = "artwork-token";
        hub = std::make_unique<hubsim::Server>(options);
        ASSERT_TRUE(hub->start()) << hub->lastError();
        dir = std::filesystem::temp_directory_path() /
              ("corvix-qt-artwork-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "token") << "artwork-token\n";
        environment.set("ORBELUNE_MAC_CONTROL_BASE_URL", hub->baseUrl());
        environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", (dir / "token").string());
        environment.set("ORBELUNE_RUNTIME_DIAGNOSTICS", "1");
        previous = platformServices();
        PlatformServices services;
        services.runLoop = &loop;
        services.http = http.get();
        services.environment = &environment;
        services.images = &images;
        installPlatformServices(services);
        RuntimeDiagnostics::resetMenuBar();
        resetSharedImageCaches();
        client = std::make_unique<OrbeluneClient>(environment, *http, loop);
    }
    void TearDown() override {
        // Closing curl's pooled connections first spares the hub its keep-alive wait.
        client.reset();
        http.reset();
        resetSharedImageCaches();
        RuntimeDiagnostics::resetMenuBar();
        installPlatformServices(previous);
        hub->stop();
        std::filesystem::remove_all(dir);
    }

    /// A player of the simulator whose artwork is its 1000 x 500 picture.
    std::optional<JsonObject> wideArtworkPlayer() {
        std::optional<Result<JsonObject>> state;
        client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
        EXPECT_TRUE(loop.runUntil([&] { return state.has_value(); }, 10s));
        if (!state || !state->ok()) {
            return std::nullopt;
        }
        const JsonObject* music = objectMember(state->value(), "musicPlayer");
        for (const JsonObject* player : music ? array(*music, "players") : ObjectList{}) {
            if (musicArtworkKey(*player).find("size=1000x500") != std::string::npos) {
                return *player;
            }
        }
        return std::nullopt;
    }

    std::unique_ptr<hubsim::Server> hub;
    std::filesystem::path dir;
    MapEnvironment environment;
    ThreadRunLoop loop;
    std::unique_ptr<CurlHttpClient> http = std::make_unique<CurlHttpClient>(loop);
    QtImageService images;
    std::unique_ptr<OrbeluneClient> client;
    PlatformServices previous;
};

std::array<int, 3> rgbAt(const BitmapRep& rep, int x, int y) {
    const std::size_t i = (std::size_t(y) * rep.pixelsWide + x) * 4;
    return {rep.pixels[i], rep.pixels[i + 1], rep.pixels[i + 2]};
}

std::array<int, 3> rgbAt(const QImage& image, int x, int y) {
    const QRgb c = image.pixel(x, y);
    return {qRed(c), qGreen(c), qBlue(c)};
}

int distance(std::array<int, 3> a, std::array<int, 3> b) {
    int d = 0;
    for (int i = 0; i < 3; ++i) {
        d = std::max(d, std::abs(a[i] - b[i]));
    }
    return d;
}

TEST_F(QtArtworkTest, TheSimulatorsWideArtworkIsCachedAsOneUprightBitmapOf128By64) {
    const std::optional<JsonObject> player = wideArtworkPlayer();
    ASSERT_TRUE(player) << "the simulator lists a player with 1000x500 artwork";
    int refreshes = 0;
    MusicArtworkLoader loader(*client, [&] { ++refreshes; });
    loader.loadMusicArtworkIfNeeded(*player, false);
    ASSERT_TRUE(loop.runUntil([&] { return refreshes > 0; }, 10s));
    EXPECT_TRUE(loader.musicArtworkTasks.empty());

    ImagePtr image = musicArtwork(*player);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->bitmaps().size(), 1u);
    const BitmapRep& rep = image->bitmaps()[0];
    ASSERT_EQ(rep.pixelsWide, 128);
    ASSERT_EQ(rep.pixelsHigh, 64);
    ASSERT_EQ(rep.pixels.size(), 128u * 64 * 4);

    // The picture the simulator serves, at full size, to compare with.
    const std::string key = musicArtworkKey(*player);
    const auto name = key.substr(key.rfind('/') + 1);
    const std::string track = name.substr(0, name.find(".png"));
    const std::string png = hubsim::artworkPng(track, 1000, 500);
    QImage full;
    ASSERT_TRUE(full.loadFromData(reinterpret_cast<const uchar*>(png.data()), int(png.size())));
    const auto top = rgbAt(full, 500, 0);
    const auto bottom = rgbAt(full, 500, 499);
    ASSERT_GT(distance(top, bottom), 40) << "the artwork's top and bottom should differ";
    EXPECT_LE(distance(rgbAt(rep, 64, 0), top), 12) << "top row keeps the top colour";
    EXPECT_LE(distance(rgbAt(rep, 64, 63), bottom), 12) << "not flipped";
    EXPECT_EQ(rep.pixels[3], 255) << "not blank";
}

TEST_F(QtArtworkTest, ArtworkFollowsARedirectWithoutTheHubsToken) {
    // A separate artwork host that moves the picture to the simulator.
    httplib::Server cdn;
    std::mutex mutex;
    std::vector<httplib::Headers> seen;
    const std::string target = hub->origin() + "/media-services/artwork/moved.png?size=300x150";
    cdn.Get("/cover.png", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(mutex);
        seen.push_back(req.headers);
        res.set_redirect(target);
    });
    const int port = cdn.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { cdn.listen_after_bind(); });
    while (!cdn.is_running()) {
        std::this_thread::sleep_for(1ms);
    }
    const JsonObject player{
        {"artworkUrl", "http://127.0.0.1:" + std::to_string(port) + "/cover.png"}};
    int refreshes = 0;
    MusicArtworkLoader loader(*client, [&] { ++refreshes; });
    loader.loadMusicArtworkIfNeeded(player, false);
    const bool stored = loop.runUntil([&] { return refreshes > 0; }, 10s);
    http.reset();
    cdn.stop();
    thread.join();
    ASSERT_TRUE(stored);
    ImagePtr image = musicArtwork(player);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{128, 64}));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].contains("X-Mac-Control-Token"));
}

TEST_F(QtArtworkTest, TheCurlClientEndsABodyLongerThanTheRequestAllows) {
    HttpRequest request;
    request.url = hub->origin() + "/media-services/artwork/cap.png?size=400x400";
    request.maxBodyBytes = 1000;
    std::optional<Result<HttpResponse>> result;
    http->send(request, [&](Result<HttpResponse> r) { result.emplace(std::move(r)); });
    ASSERT_TRUE(loop.runUntil([&] { return result.has_value(); }, 10s));
    ASSERT_FALSE(result->ok());
    EXPECT_EQ(result->error().code, kUrlErrorBadServerResponse);

    request.maxBodyBytes.reset();
    result.reset();
    http->send(request, [&](Result<HttpResponse> r) { result.emplace(std::move(r)); });
    ASSERT_TRUE(loop.runUntil([&] { return result.has_value(); }, 10s));
    ASSERT_TRUE(result->ok());
    EXPECT_GT(result->value().body.size(), 1000u);
}

}  // namespace
}  // namespace corvix

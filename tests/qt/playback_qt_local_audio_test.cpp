#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "QtTestSupport.h"
#include "Server.h"
#include "hub/OrbeluneClient.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/qt/QtAudioService.h"
#include "platform/qt/QtRunLoop.h"
#include "playback/LocalAudioPlayer.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

/// The simulator, the curl client on Qt's run loop and Qt's audio players: the sound of the
/// hub's library stream, played here.
class QtLocalAudioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::app();
        hubsim::ServerOptions options;
        options.token = "audio-token";
        hub = std::make_unique<hubsim::Server>(options);
        ASSERT_TRUE(hub->start()) << hub->lastError();
        dir = std::filesystem::temp_directory_path() /
              ("corvix-qt-audio-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "token") << "audio-token\n";
        environment.set("ORBELUNE_MAC_CONTROL_BASE_URL", hub->baseUrl());
        environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", (dir / "token").string());
        previous = platformServices();
        PlatformServices services;
        services.runLoop = &loop;
        services.http = http.get();
        services.environment = &environment;
        services.audio = audio.get();
        installPlatformServices(services);
        LocalAudioPlayer::resetShared();
        client = std::make_unique<OrbeluneClient>(environment, *http, loop);
    }
    void TearDown() override {
        LocalAudioPlayer::resetShared();
        audio.reset();
        client.reset();
        http.reset();
        installPlatformServices(previous);
        hub->stop();
        std::filesystem::remove_all(dir);
    }

    /// Runs Qt's events until `done` holds or `seconds` passed.
    static bool pumpUntil(const std::function<bool()>& done, int seconds) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > seconds * 1000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return true;
    }

    JsonObject fetch() {
        std::optional<Result<JsonObject>> state;
        client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
        EXPECT_TRUE(pumpUntil([&] { return state.has_value(); }, 10));
        EXPECT_TRUE(state && state->ok());
        return state && state->ok() ? state->value() : JsonObject{};
    }

    bool await(const std::function<TaskHandle(OrbeluneClient::Done)>& start) {
        std::optional<Result<void>> done;
        start([&](Result<void> r) { done.emplace(std::move(r)); });
        return pumpUntil([&] { return done.has_value(); }, 10) && done->ok();
    }

    std::unique_ptr<hubsim::Server> hub;
    std::filesystem::path dir;
    MapEnvironment environment;
    QtRunLoop loop;
    std::unique_ptr<CurlHttpClient> http = std::make_unique<CurlHttpClient>(loop);
    std::unique_ptr<QtAudioService> audio = std::make_unique<QtAudioService>();
    std::unique_ptr<OrbeluneClient> client;
    PlatformServices previous;
};

const JsonObject* playerWithId(const JsonObject& state, std::string_view id) {
    const JsonObject* music = objectMember(state, "musicPlayer");
    for (const JsonObject* p : music ? array(*music, "players") : ObjectList{}) {
        if (string(*p, "id") == id) {
            return p;
        }
    }
    return nullptr;
}

TEST_F(QtLocalAudioTest, MusicMovedToThisComputerPlaysHereAndPausesWithTheHub) {
    LocalAudioPlayer& local = LocalAudioPlayer::shared();
    JsonObject state = fetch();
    local.sync(state, client->baseURL());
    EXPECT_FALSE(local.hasPlayer());  // the library plays on the hub

    const JsonObject* music = objectMember(state, "musicPlayer");
    ASSERT_TRUE(music);
    const JsonObject source = *objectMember(*music, "activePlayer");
    const JsonObject* here = playerWithId(state, "player-this-computer");
    ASSERT_TRUE(here);
    const JsonObject target = *here;
    ASSERT_TRUE(await([&](auto done) { return client->runMusicTransfer(source, target, done); }));

    state = fetch();
    local.sync(state, client->baseURL());
    ASSERT_TRUE(local.hasPlayer());
    ASSERT_TRUE(local.isPlaying());
    const JsonObject active = *objectMember(*objectMember(state, "musicPlayer"), "activePlayer");
    const double startMs = optionalDouble(active, "positionMs").value_or(0);
    ASSERT_GT(startMs, 10000);  // the library had played a while: the stream starts there

    // The position grows from where the hub was, within a few seconds.
    const AudioPlayer* player = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] {
            player = local.player();
            return player && player->positionMs() > startMs + 1000;
        },
        15))
        << "position " << (player ? player->positionMs() : -1);

    ASSERT_TRUE(await(
        [&](auto done) { return client->runMusicCommand("pause", active, JsonObject{}, done); }));
    local.sync(fetch(), client->baseURL());
    EXPECT_FALSE(local.isPlaying());
    pumpUntil([] { return false; }, 1);  // let the pause reach the pipeline
    const double pausedAt = player->positionMs();
    pumpUntil([] { return false; }, 1);
    EXPECT_NEAR(player->positionMs(), pausedAt, 100);

    bool streamed = false;
    for (const auto& r : hub->requests()) {
        streamed |= r.target.starts_with("/media-services/library/stream/");
    }
    EXPECT_TRUE(streamed);
}

}  // namespace
}  // namespace corvix

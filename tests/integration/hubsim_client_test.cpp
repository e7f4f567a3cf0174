// The program's real curl client against the hub simulator on loopback.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

#include "HubsimTestSupport.h"
#include "hub/MacControlStateStreamClient.h"
#include "hub/OrbeluneClient.h"
#include "platform/Environment.h"
#include "platform/ThreadRunLoop.h"
#include "platform/curl/CurlHttpClient.h"
#include "state/StateAccessors.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kToken = "hubsim-client-token";

class HubsimClient : public ::testing::Test {
  protected:
    void SetUp() override {
        hubsim::ServerOptions options;
        options.token = kToken;
        hub = std::make_unique<hubsim::Server>(options);
        ASSERT_TRUE(hub->start()) << hub->lastError();
        dir =
            testing::pointAtHub(*hub, kToken,
                                std::string("hubsim-client-") +
                                    ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                                env);
        client = std::make_unique<OrbeluneClient>(env, http, loop);
    }
    void TearDown() override {
        // Closing curl's pooled connections first spares the hub its keep-alive wait.
        client.reset();
        httpClient.reset();
        hub->stop();
        std::filesystem::remove_all(dir);
    }

    void writeToken(const std::string& text) { std::ofstream(dir / "token") << text; }

    template <typename T>
    Result<T> wait(std::optional<Result<T>>& slot, Duration timeout = 10s) {
        EXPECT_TRUE(loop.runUntil([&] { return slot.has_value(); }, timeout));
        return slot ? std::move(*slot) : Result<T>(Error{"test", -1, "timed out waiting"});
    }

    /// Runs one command operation to its end.
    Result<void> run(const std::function<TaskHandle(OrbeluneClient::Done)>& start) {
        std::optional<Result<void>> done;
        start([&](Result<void> r) { done.emplace(std::move(r)); });
        return wait(done);
    }

    JsonObject fetch() {
        std::optional<Result<JsonObject>> state;
        client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
        auto fetched = wait(state);
        EXPECT_TRUE(fetched.ok()) << (fetched.ok() ? "" : fetched.error().description);
        return fetched.ok() ? fetched.value() : JsonObject{};
    }

    std::vector<JsonObject> list(
        const std::function<TaskHandle(OrbeluneClient::ListCompletion)>& start) {
        std::optional<Result<std::vector<JsonObject>>> answer;
        start([&](Result<std::vector<JsonObject>> r) { answer.emplace(std::move(r)); });
        auto result = wait(answer);
        EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().description);
        return result.ok() ? result.value() : std::vector<JsonObject>{};
    }

    static JsonObject byId(const json::value& list, const std::string& id) {
        for (const auto& v : list.as_array()) {
            if (v.as_object().at("id") == id.c_str()) {
                return v.as_object();
            }
        }
        ADD_FAILURE() << "nothing with id " << id;
        return {};
    }
    JsonObject device(const std::string& id) {
        const auto state = hub->state();
        for (const auto& room : state.at("rooms").as_array()) {
            for (const auto& d : room.at("devices").as_array()) {
                if (d.at("id") == id.c_str()) {
                    return d.as_object();
                }
            }
        }
        ADD_FAILURE() << "no device " << id;
        return {};
    }
    JsonObject player(const std::string& id) {
        return byId(hub->state().at("musicPlayer").at("players"), id);
    }
    json::object lastBody() {
        const auto requests = hub->requests();
        EXPECT_FALSE(requests.empty());
        return requests.empty() ? json::object{} : json::parse(requests.back().body).as_object();
    }

    ThreadRunLoop loop;
    std::unique_ptr<CurlHttpClient> httpClient = std::make_unique<CurlHttpClient>(loop);
    CurlHttpClient& http = *httpClient;
    std::unique_ptr<hubsim::Server> hub;
    std::filesystem::path dir;
    MapEnvironment env;
    std::unique_ptr<OrbeluneClient> client;
};

TEST_F(HubsimClient, FetchesTheDemoStateWithoutItsEnvelope) {
    const auto state = fetch();
    EXPECT_FALSE(state.contains("status"));
    EXPECT_FALSE(state.contains("data"));
    EXPECT_EQ(state.at("rooms").as_array().size(), hub->state().at("rooms").as_array().size());
    EXPECT_EQ(state.at("musicPlayer").at("activePlayer").at("id"), "player-library");
    const auto requests = hub->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/app/os/mac-control/state");
    EXPECT_EQ(requests[0].headers.at("x-mac-control-token"), kToken);
}

TEST_F(HubsimClient, TokenProblemsAreErrorsOfTheProgramsDomain) {
    writeToken("someone-elses-token\n");
    std::optional<Result<JsonObject>> state;
    client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
    auto wrong = wait(state);
    ASSERT_FALSE(wrong.ok());
    EXPECT_EQ(wrong.error().domain, "OrbeluneMenuBar");
    EXPECT_EQ(wrong.error().code, 2);
    EXPECT_EQ(wrong.error().description, "Mac control request failed");
    EXPECT_EQ(hub->requests().back().status, 401);

    // An empty token file and no token at home: error 4, and nothing reaches the hub.
    writeToken("  \n");
    hub->clearRequests();
    auto missing = run([&](auto done) { return client->runItem("scene/good-night", true, done); });
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, 4);
    EXPECT_TRUE(hub->requests().empty());
}

TEST_F(HubsimClient, ItemAndDeviceOperationsChangeTheSimulatedHome) {
    ASSERT_TRUE(run([&](auto done) { return client->runItem("av/movie-night", true, done); }).ok());
    EXPECT_EQ(hub->requests().back().segments[1], "av/movie-night");
    EXPECT_EQ(byId(hub->state().at("avFlows"), "av/movie-night").at("toggle").at("isOn"), true);
    ASSERT_TRUE(
        run([&](auto done) { return client->runItem("av/movie-night", false, done); }).ok());
    EXPECT_EQ(lastBody().at("desiredState"), false);
    EXPECT_EQ(byId(hub->state().at("pinned"), "av/movie-night").at("toggle").at("isOn"), false);

    ASSERT_TRUE(run([&](auto done) {
                    return client->runItem("switch-coffee/on", std::nullopt, done);
                }).ok());
    EXPECT_EQ(lastBody(), (json::object{{"source", "native-menubar"}, {"confirm", true}}));
    EXPECT_EQ(device("switch-coffee").at("power").at("isOn"), true);

    const JsonObject brightness{{"brightness", 12}, {"level", 12}, {"value", 12}, {"percent", 12}};
    ASSERT_TRUE(run([&](auto done) {
                    return client->runCommand("light-ceiling", "set_brightness", brightness, done);
                }).ok());
    EXPECT_EQ(device("light-ceiling").at("brightness").at("value"), 12);
    EXPECT_EQ(lastBody().at("payload"), brightness);
    EXPECT_EQ(lastBody().at("level"), 12);

    ASSERT_TRUE(run([&](auto done) {
                    return client->runCommand("climate-bedroom", "set_hvac_mode",
                                              JsonObject{{"mode", "auto"}}, done);
                }).ok());
    EXPECT_EQ(device("climate-bedroom").at("climate").at("mode"), "auto");
    ASSERT_TRUE(run([&](auto done) {
                    return client->runCommand("tv-living", "sleep timer", JsonObject{}, done);
                }).ok());
    EXPECT_EQ(hub->requests().back().target,
              "/app/os/mac-control/devices/tv-living/commands/sleep%20timer/run");
    EXPECT_EQ(device("tv-living").at("state").at("lastCommand"), "sleep timer");
}

TEST_F(HubsimClient, HubRefusalsAreError3WithTheHubsMessage) {
    auto unsupported = run([&](auto done) {
        return client->runCommand("climate-bedroom", "eco_mode", JsonObject{}, done);
    });
    ASSERT_FALSE(unsupported.ok());
    EXPECT_EQ(unsupported.error().code, 3);
    EXPECT_NE(unsupported.error().description.find("not supported"), std::string::npos);

    auto offScript = run([&](auto done) { return client->runItem("av/party", false, done); });
    ASSERT_FALSE(offScript.ok());
    EXPECT_NE(offScript.error().description.find("off script"), std::string::npos);

    auto unknown = run([&](auto done) { return client->runItem("no/such", true, done); });
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.error().code, 2) << "a 404 is a failed request, whatever its body says";
}

TEST_F(HubsimClient, MusicOperationsChangeTheSimulatedPlayers) {
    auto library = fetch().at("musicPlayer").at("activePlayer").as_object();
    ASSERT_TRUE(
        run([&](auto done) {
            return client->runMusicCommand("set_volume", library, JsonObject{{"volume", 23}}, done);
        }).ok());
    EXPECT_EQ(player("player-library").at("volume"), 23);
    EXPECT_EQ(lastBody().at("serviceKey"), "LOCAL_LIBRARY");
    ASSERT_TRUE(run([&](auto done) {
                    return client->runMusicCommand("setVolume", library,
                                                   JsonObject{{"volume", 61.6}}, done);
                }).ok());
    EXPECT_EQ(player("player-library").at("volume"), 62);
    for (const char* action : {"pause", "resume", "next", "mute"}) {
        ASSERT_TRUE(run([&](auto done) {
                        return client->runMusicCommand(action, library, JsonObject{}, done);
                    }).ok())
            << action;
    }
    auto now = player("player-library");
    EXPECT_EQ(now.at("playback"), "playing");
    EXPECT_EQ(now.at("muted"), true);
    EXPECT_NE(now.at("title"), library.at("title"));

    const auto players = fetch().at("musicPlayer").at("players");
    const auto browser = byId(players, "player-this-computer");
    ASSERT_TRUE(
        run([&](auto done) { return client->runMusicTransfer(library, browser, done); }).ok());
    EXPECT_EQ(lastBody().at("sourcePlayerId"), "player-library");
    EXPECT_EQ(lastBody().at("requestSource"), "native-menubar");
    auto state = fetch();
    EXPECT_EQ(state.at("musicPlayer").at("activePlayer").at("id"), "player-this-computer");
    EXPECT_EQ(state.at("musicPlayer").at("activePlayer").at("playback"), "playing");

    const auto speaker = byId(players, "player-living-speaker");
    ASSERT_TRUE(run([&](auto done) { return client->shuffleListenLater(speaker, done); }).ok());
    EXPECT_EQ(player("player-living-speaker").at("shuffle"), true);
    EXPECT_EQ(fetch().at("musicPlayer").at("activePlayer").at("id"), "player-living-speaker");

    auto playlists = list([&](auto done) { return client->fetchMusicPlaylists(done); });
    ASSERT_GE(playlists.size(), 3u);
    const auto airplay = byId(players, "player-kitchen-airplay");
    ASSERT_TRUE(run([&](auto done) {
                    return client->playMusicPlaylist(playlists[2], airplay, done);
                }).ok());
    EXPECT_EQ(player("player-kitchen-airplay").at("playback"), "playing");
    EXPECT_EQ(fetch().at("musicPlayer").at("activePlayer").at("id"), "player-kitchen-airplay");
}

TEST_F(HubsimClient, ChoicesAndAppsRoundTrip) {
    auto choices = list([&](auto done) { return client->fetchProgramChoices(done); });
    ASSERT_FALSE(choices.empty());
    ASSERT_TRUE(
        run([&](auto done) {
            return client->saveProgramChoices({"prog-good-night", "prog-movie-night"}, done);
        }).ok());
    auto state = fetch();
    EXPECT_EQ(state.at("avFlows").as_array().size(), 1u);
    EXPECT_EQ(state.at("programScenes").as_array().size(), 1u);
    ASSERT_TRUE(run([&](auto done) { return client->saveProgramChoices({}, done); }).ok());
    EXPECT_EQ(lastBody(), (json::object{{"programIds", json::array{}}}));
    EXPECT_TRUE(fetch().at("avFlows").as_array().empty());

    auto apps = list([&](auto done) { return client->fetchDeviceApps("atv/living-room", done); });
    ASSERT_GE(apps.size(), 5u);
    EXPECT_EQ(hub->requests().back().target, "/app/os/mac-control/devices/atv%2Fliving-room/apps");
    ASSERT_TRUE(run([&](auto done) {
                    return client->launchDeviceApp("atv/living-room", "com.example.tubeview", done);
                }).ok());
    EXPECT_EQ(device("atv/living-room").at("state").at("currentAppName"), "TubeView");

    auto notApple = run([&](auto done) {
        return client->launchDeviceApp("tv-living", "com.example.tubeview", done);
    });
    ASSERT_FALSE(notApple.ok());
    EXPECT_EQ(notApple.error().code, 3);
}

TEST_F(HubsimClient, FaultFlagsReachTheClientAsErrors) {
    hubsim::Faults faults;
    faults.failRate = 1;
    hub->setFaults(faults);
    std::optional<Result<JsonObject>> state;
    client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
    auto failed = wait(state);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().code, 2);

    faults = {};
    faults.statusFalseRate = 1;
    hub->setFaults(faults);
    state.reset();
    client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
    auto refused = wait(state);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, 3);
    EXPECT_NE(refused.error().description.find("Simulated hub failure"), std::string::npos);

    faults = {};
    faults.malformedState = hubsim::MalformedState::NotObject;
    hub->setFaults(faults);
    EXPECT_TRUE(fetch().empty()) << "a top level that is not an object reads as an empty state";

    for (auto kind : {hubsim::MalformedState::NotJson, hubsim::MalformedState::Deep}) {
        faults.malformedState = kind;
        hub->setFaults(faults);
        state.reset();
        client->fetchState([&](Result<JsonObject> r) { state.emplace(std::move(r)); });
        auto broken = wait(state);
        EXPECT_FALSE(broken.ok()) << "a broken document is a parse failure, not a crash";
    }
}

TEST_F(HubsimClient, StreamEventArrivesWithin200MillisecondsOfACommand) {
    auto request = client->makeAuthorizedRequest("state/stream", "GET", std::nullopt,
                                                 "text/event-stream", 300);
    ASSERT_TRUE(request.ok());
    std::string received;
    std::optional<Clock::time_point> eventAt;
    HttpClient::StreamCallbacks callbacks;
    callbacks.onData = [&](std::string_view bytes) {
        received.append(bytes);
        if (!eventAt && received.find("event: state") != std::string::npos) {
            eventAt = Clock::now();
        }
    };
    TaskHandle stream = http.stream(std::move(request.value()), std::move(callbacks));
    ASSERT_TRUE(
        loop.runUntil([&] { return received.find(": connected") != std::string::npos; }, 5s));

    const auto sent = Clock::now();
    client->runCommand("lamp-floor", "turn_on", JsonObject{}, [](Result<void>) {});
    ASSERT_TRUE(loop.runUntil([&] { return eventAt.has_value(); }, 2s));
    const auto latency = *eventAt - sent;
    EXPECT_LT(latency, 200ms);
    RecordProperty(
        "event_latency_us",
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(latency).count()));
    stream.cancel();
}

TEST_F(HubsimClient, StreamClientInvalidatesOnceAfterItsDebounce) {
    int invalidations = 0;
    std::optional<Clock::time_point> invalidatedAt;
    MacControlStateStreamClient stream(*client, [&] {
        ++invalidations;
        invalidatedAt = Clock::now();
    });
    stream.start();
    ASSERT_TRUE(loop.runUntil([&] { return hub->openStreams() == 1; }, 5s));
    // The opened stream asks once for what changed before it; then the hub's events count.
    ASSERT_TRUE(loop.runUntil([&] { return invalidations == 1; }, 2s));
    invalidations = 0;

    const auto sent = Clock::now();
    for (const char* id : {"light-kitchen/toggle", "switch-coffee/on", "light-bedside/off"}) {
        client->runItem(id, std::nullopt, [](Result<void>) {});
    }
    ASSERT_TRUE(loop.runUntil([&] { return invalidations > 0; }, 2s));
    const auto elapsed = *invalidatedAt - sent;
    EXPECT_GE(elapsed, MacControlStateStreamClient::kDebounce);
    EXPECT_LT(elapsed, MacControlStateStreamClient::kDebounce + 200ms);
    RecordProperty(
        "invalidate_after_us",
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()));
    loop.runUntil([] { return false; }, 300ms);
    EXPECT_EQ(invalidations, 1) << "three quick changes make one refresh";
    stream.stop();
}

TEST_F(HubsimClient, RestartingAConnectedStreamClientKeepsOneStream) {
    // A short first delay: a connection scheduled by a late completion would show at once.
    constexpr auto kFirstDelay = 50ms;
    int invalidations = 0;
    MacControlStateStreamClient stream(
        *client, [&] { ++invalidations; },
        std::chrono::duration_cast<std::chrono::nanoseconds>(kFirstDelay).count());
    stream.start();
    ASSERT_TRUE(loop.runUntil([&] { return hub->openStreams() == 1; }, 5s));
    for (int wake = 0; wake < 2; ++wake) {
        stream.stop();
        stream.start();
        ASSERT_TRUE(loop.runUntil([&] { return hub->streamOpenTimes().size() == 2u + wake; }, 5s));
    }
    // The hub notices a closed stream only at its next write, so count what was opened: a
    // connection scheduled by a late completion would open within the first delay.
    loop.runUntil([] { return false; }, 500ms);
    EXPECT_EQ(hub->streamOpenTimes().size(), 3u);
    // The stream that stays asked once for what changed before it.
    EXPECT_EQ(invalidations, 1);
    invalidations = 0;

    client->runItem("light-kitchen/toggle", std::nullopt, [](Result<void>) {});
    ASSERT_TRUE(loop.runUntil([&] { return invalidations > 0; }, 2s));
    loop.runUntil([] { return false; }, 300ms);
    EXPECT_EQ(invalidations, 1) << "one stream, one event";
    stream.stop();
}

TEST_F(HubsimClient, StreamClientBacksOffAfterTheHubDropsItsStreams) {
    hubsim::Faults faults;
    faults.dropStreamsAfterSeconds = 0.1;
    hub->setFaults(faults);
    // A short first delay keeps the test quick; the doubling is what is measured.
    constexpr auto kFirstDelay = 100ms;
    MacControlStateStreamClient stream(
        *client, [] {}, std::chrono::duration_cast<std::chrono::nanoseconds>(kFirstDelay).count());
    stream.start();
    ASSERT_TRUE(loop.runUntil([&] { return hub->streamOpenTimes().size() >= 4; }, 10s));
    stream.stop();

    const auto opens = hub->streamOpenTimes();
    // Each stream lives 100 ms, then the client waits 100, 200, 400 ms before the next.
    for (size_t i = 1; i < 4; ++i) {
        const auto gap = opens[i] - opens[i - 1];
        const auto expected = 100ms + kFirstDelay * (1 << (i - 1));
        EXPECT_GE(gap, expected - 10ms) << "reconnect " << i;
        EXPECT_LT(gap, expected + 150ms) << "reconnect " << i;
    }
}

TEST_F(HubsimClient, StreamClientBacksOffWhenTheHubRefusesTheToken) {
    writeToken("stale-token\n");
    constexpr auto kFirstDelay = 50ms;
    MacControlStateStreamClient stream(
        *client, [] {}, std::chrono::duration_cast<std::chrono::nanoseconds>(kFirstDelay).count());
    stream.start();
    auto attempts = [&] {
        size_t n = 0;
        for (const auto& r : hub->requests()) {
            n += r.target.find("state/stream") != std::string::npos && r.status == 401;
        }
        return n;
    };
    ASSERT_TRUE(loop.runUntil([&] { return attempts() >= 4; }, 10s));
    EXPECT_EQ(stream.reconnectDelayNs(),
              std::chrono::duration_cast<std::chrono::nanoseconds>(kFirstDelay * 8).count());
    EXPECT_EQ(hub->openStreams(), 0u);
    stream.stop();
}

}  // namespace
}  // namespace corvix

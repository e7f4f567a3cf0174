// The hub simulator on its own, driven over loopback with a plain HTTP client.

#include "DemoHome.h"
#include "Server.h"
#include "TokenFile.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>

#include <boost/json.hpp>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

namespace json = boost::json;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kToken = "hubsim-test-token";
constexpr const char* kApi = "/app/os/mac-control/";

class HubsimServer : public ::testing::Test {
  protected:
    void SetUp() override { startServer({}); }

    void startServer(hubsim::ServerOptions options) {
        if (server_) {
            server_->stop();
        }
        options.port = 0;
        options.token = kToken;
        server_ = std::make_unique<hubsim::Server>(std::move(options));
        ASSERT_TRUE(server_->start()) << server_->lastError();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_read_timeout(5, 0);
    }

    httplib::Headers auth() const { return {{"X-Mac-Control-Token", kToken}}; }

    json::value getJson(const std::string& path, int expectedStatus = 200) {
        auto res = client_->Get((kApi + path).c_str(), auth());
        EXPECT_TRUE(res) << path;
        if (!res) {
            return {};
        }
        EXPECT_EQ(res->status, expectedStatus) << path << ": " << res->body;
        return json::parse(res->body);
    }

    json::object post(const std::string& path, const json::object& body, int expectedStatus = 200) {
        auto res =
            client_->Post((kApi + path).c_str(), auth(), json::serialize(body), "application/json");
        EXPECT_TRUE(res) << path;
        if (!res) {
            return {};
        }
        EXPECT_EQ(res->status, expectedStatus) << path << ": " << res->body;
        return json::parse(res->body).as_object();
    }

    json::object state() { return getJson("state").at("data").as_object(); }

    static const json::object* findById(const json::value& list, const std::string& id) {
        for (const auto& v : list.as_array()) {
            if (v.as_object().at("id") == id.c_str()) {
                return &v.as_object();
            }
        }
        return nullptr;
    }

    json::object device(const std::string& id) {
        const auto current = state();
        for (const auto& room : current.at("rooms").as_array()) {
            if (const auto* d = findById(room.at("devices"), id)) {
                return *d;
            }
        }
        ADD_FAILURE() << "no device " << id;
        return {};
    }

    json::object musicPlayer(const std::string& id) {
        const auto current = state();
        const auto* p = findById(current.at("musicPlayer").at("players"), id);
        return p ? *p : json::object{};
    }

    static json::object musicBody(const std::string& action, const std::string& targetType,
                                  const std::string& targetId, json::object payload = {}) {
        json::object body{{"source", "native-menubar"}, {"action", action},
                          {"serviceKey", ""},           {"targetType", targetType},
                          {"targetId", targetId},       {"payload", payload}};
        for (const auto& member : payload) {
            body[member.key()] = member.value();
        }
        return body;
    }

    std::unique_ptr<hubsim::Server> server_;
    std::unique_ptr<httplib::Client> client_;
};

/// Reads an event stream on its own thread and lets the test wait for text to arrive.
class StreamReader {
  public:
    StreamReader(int port, std::string token) : client_("127.0.0.1", port) {
        thread_ = std::thread([this, port, token] {
            auto& client = client_;
            client.set_read_timeout(10, 0);
            auto res = client.Get(
                "/app/os/mac-control/state/stream",
                {{"X-Mac-Control-Token", token}, {"Accept", "text/event-stream"}},
                [this](const httplib::Response& response) {
                    std::lock_guard lock(mutex_);
                    status_ = response.status;
                    return true;
                },
                [this](const char* data, size_t length) {
                    std::lock_guard lock(mutex_);
                    text_.append(data, length);
                    changed_.notify_all();
                    return !cancel_;
                });
            std::lock_guard lock(mutex_);
            ended_ = true;
            if (res && status_ == 0) {
                status_ = res->status;
            }
            changed_.notify_all();
        });
    }
    ~StreamReader() {
        {
            std::lock_guard lock(mutex_);
            cancel_ = true;
        }
        client_.stop();
        thread_.join();
    }

    /// Waits until `needle` occurs at or after `from`; returns its position or npos.
    size_t waitFor(const std::string& needle, std::chrono::milliseconds timeout, size_t from = 0) {
        std::unique_lock lock(mutex_);
        size_t at = std::string::npos;
        changed_.wait_for(lock, timeout, [&] {
            at = text_.find(needle, from);
            return at != std::string::npos || ended_;
        });
        return text_.find(needle, from);
    }
    bool waitForEnd(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return ended_; });
    }
    size_t size() {
        std::lock_guard lock(mutex_);
        return text_.size();
    }
    int status() {
        std::lock_guard lock(mutex_);
        return status_;
    }
    std::string text() {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    httplib::Client client_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string text_;
    int status_ = 0;
    bool ended_ = false;
    bool cancel_ = false;
};

TEST_F(HubsimServer, EveryApiRouteAnswers401WithoutTheRightToken) {
    for (const char* path : {"state", "state/stream", "music/playlists", "program-choices",
                             "devices/atv%2Fliving-room/apps"}) {
        auto missing = client_->Get((std::string(kApi) + path).c_str());
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->status, 401) << path;
        auto wrong = client_->Get((std::string(kApi) + path).c_str(),
                                  {{"X-Mac-Control-Token", "not-the-token"}});
        ASSERT_TRUE(wrong);
        EXPECT_EQ(wrong->status, 401) << path;
    }
    auto post = client_->Post((std::string(kApi) + "items/scene%2Fgood-night/run").c_str(),
                              R"({"source":"native-menubar","confirm":true})", "application/json");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 401);
    // Nothing ran.
    EXPECT_EQ(server_->revision(), 0u);
    // Artwork and the dashboard are fetched without the token.
    auto art = client_->Get("/media-services/artwork/trk-01.png");
    ASSERT_TRUE(art);
    EXPECT_EQ(art->status, 200);
}

TEST_F(HubsimServer, StateComesInTheDataEnvelopeWithEveryPartOfTheDemoHome) {
    const auto document = getJson("state").as_object();
    EXPECT_EQ(document.at("status"), true);
    const auto& data = document.at("data").as_object();

    EXPECT_EQ(data.at("pinned").as_array().size(), 3u);
    EXPECT_FALSE(data.at("programScenes").as_array().empty());
    EXPECT_FALSE(data.at("scenes").as_array().empty());
    EXPECT_FALSE(data.at("avFlows").as_array().empty());
    EXPECT_FALSE(data.at("programs").as_array().empty());

    std::set<std::string> kinds;
    bool roomSensors = false, fullLight = false, powerOnlyLight = false, appleTv = false;
    for (const auto& room : data.at("rooms").as_array()) {
        if (const auto* sensors = room.as_object().if_contains("sensors")) {
            roomSensors = roomSensors || !sensors->at("temperatures").as_array().empty();
        }
        for (const auto& d : room.at("devices").as_array()) {
            const auto& dev = d.as_object();
            kinds.insert(std::string(dev.at("kind").as_string()));
            fullLight = fullLight || (dev.contains("brightness") && dev.contains("color") &&
                                      dev.contains("colorTemperature"));
            powerOnlyLight =
                powerOnlyLight || (dev.at("kind") == "light" && dev.contains("power") &&
                                   !dev.contains("brightness") && !dev.contains("color") &&
                                   !dev.contains("colorTemperature"));
            appleTv = appleTv || (dev.contains("capabilities") && dev.contains("mediaRemote"));
            EXPECT_FALSE(dev.contains("_sim")) << "simulator-only members must not be served";
        }
    }
    EXPECT_TRUE(roomSensors);
    EXPECT_TRUE(fullLight);
    EXPECT_TRUE(powerOnlyLight);
    EXPECT_TRUE(appleTv);
    for (const char* kind : {"light", "climate", "media", "sensor", "switch", "cover", "lock"}) {
        EXPECT_TRUE(kinds.count(kind)) << kind;
    }

    const auto& music = data.at("musicPlayer").as_object();
    EXPECT_EQ(music.at("available"), true);
    EXPECT_GE(music.at("players").as_array().size(), 3u);
    EXPECT_TRUE(music.at("activePlayer").is_object());
    EXPECT_GT(music.at("listenLater").at("trackCount").as_int64(), 0);
    bool browser = false;
    for (const auto& p : music.at("players").as_array()) {
        browser = browser || p.at("localBrowserPlayback") == true;
    }
    EXPECT_TRUE(browser);
    const auto& queue = music.at("activePlayer").at("queue").as_object();
    EXPECT_FALSE(queue.at("items").as_array().empty());
}

TEST_F(HubsimServer, ItemRunsDecodeSlashesAndHonourTheDesiredState) {
    post("items/av%2Fmovie-night/run",
         {{"source", "native-menubar"}, {"confirm", true}, {"desiredState", true}});
    auto s = state();
    EXPECT_EQ(findById(s.at("avFlows"), "av/movie-night")->at("toggle").at("isOn"), true);
    EXPECT_EQ(findById(s.at("pinned"), "av/movie-night")->at("toggle").at("isOn"), true);

    post("items/av%2Fmovie-night/run",
         {{"source", "native-menubar"}, {"confirm", true}, {"desiredState", false}});
    EXPECT_EQ(findById(state().at("avFlows"), "av/movie-night")->at("toggle").at("isOn"), false);

    // Without a desired state a reversible scene flips.
    post("items/av%2Fmusic-everywhere/run", {{"source", "native-menubar"}, {"confirm", true}});
    EXPECT_EQ(findById(state().at("avFlows"), "av/music-everywhere")->at("scene").at("active"),
              false);

    // Power items switch their device.
    post("items/light-ceiling%2Foff/run", {{"source", "native-menubar"}, {"confirm", true}});
    EXPECT_EQ(device("light-ceiling").at("power").at("isOn"), false);

    EXPECT_EQ(post("items/no-such-item/run", {{"source", "native-menubar"}, {"confirm", true}}, 404)
                  .at("status"),
              false);
    post("items/scene%2Fgood-night/run", {{"source", "native-menubar"}}, 400);
    post("items/scene%2Fgood-night/run", {{"confirm", true}, {"desiredState", "yes"}}, 400);
}

TEST_F(HubsimServer, RefusalsCarryTheWordsTheProgramLooksFor) {
    auto offFails =
        post("items/av%2Fparty/run",
             {{"source", "native-menubar"}, {"confirm", true}, {"desiredState", false}});
    EXPECT_EQ(offFails.at("status"), false);
    EXPECT_NE(std::string(offFails.at("message").as_string()).find("off script"),
              std::string::npos);

    auto unsupported = post("devices/climate-bedroom/commands/eco_mode/run",
                            {{"source", "native-menubar"}, {"payload", json::object{}}});
    EXPECT_EQ(unsupported.at("status"), false);
    EXPECT_NE(std::string(unsupported.at("message").as_string()).find("not supported"),
              std::string::npos);

    auto unlisted =
        post("devices/lock-front/commands/self_destruct/run", {{"payload", json::object{}}});
    EXPECT_EQ(unlisted.at("status"), false);

    post("devices/nowhere/commands/turn_on/run", {{"payload", json::object{}}}, 404);
}

TEST_F(HubsimServer, DeviceCommandsChangeTheirControls) {
    post("devices/light-ceiling/commands/set_brightness/run",
         {{"source", "native-menubar"},
          {"payload", {{"brightness", 33}, {"level", 33}, {"value", 33}, {"percent", 33}}},
          {"brightness", 33},
          {"level", 33},
          {"value", 33},
          {"percent", 33}});
    post("devices/light-ceiling/commands/set_color/run",
         {{"payload", {{"hue", 200.0}, {"sat", 50.0}, {"saturation", 50.0}}},
          {"hue", 200.0},
          {"sat", 50.0},
          {"saturation", 50.0}});
    post("devices/light-ceiling/commands/set_color_temp/run",
         {{"payload", {{"ct", 9999}}}, {"ct", 9999}});
    auto light = device("light-ceiling");
    EXPECT_EQ(light.at("brightness").at("value"), 33);
    EXPECT_EQ(light.at("color").at("hue"), 200);
    EXPECT_EQ(light.at("color").at("saturation"), 50);
    EXPECT_EQ(light.at("colorTemperature").at("value"), 500) << "clamped to the light's maximum";

    post("devices/lamp-floor/commands/turn_on/run", {{"payload", json::object{}}});
    EXPECT_EQ(device("lamp-floor").at("power").at("isOn"), true);

    post("devices/climate-bedroom/commands/set_hvac_mode/run",
         {{"payload", {{"mode", "cool"}}}, {"mode", "cool"}});
    post("devices/climate-bedroom/commands/set_temperature/run",
         {{"payload", {{"temperature", 23.5}}}, {"temperature", 23.5}});
    post("devices/climate-bedroom/commands/set_fan_speed/run",
         {{"payload", {{"fanSpeed", 80}}}, {"fanSpeed", 80}});
    auto climate = device("climate-bedroom");
    EXPECT_EQ(climate.at("climate").at("mode"), "cool");
    EXPECT_EQ(climate.at("climate").at("targetTemperature"), 23.5);
    EXPECT_EQ(climate.at("brightness").at("value"), 80);
    EXPECT_EQ(post("devices/climate-bedroom/commands/set_hvac_mode/run",
                   {{"payload", {{"mode", "sauna"}}}})
                  .at("status"),
              false);

    post("devices/lock-front/commands/unlock/run", {{"payload", json::object{}}});
    EXPECT_EQ(device("lock-front").at("state").at("status"), "Unlocked");
    // A command key with a blank arrives percent-encoded.
    post("devices/tv-living/commands/sleep%20timer/run", {{"payload", json::object{}}});
    EXPECT_EQ(device("tv-living").at("state").at("lastCommand"), "sleep timer");

    // Bodies that are not JSON objects, or not sent as JSON, are refused.
    auto res = client_->Post("/app/os/mac-control/devices/lamp-floor/commands/turn_on/run", auth(),
                             "[1]", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
    res = client_->Post("/app/os/mac-control/devices/lamp-floor/commands/turn_on/run", auth(), "{}",
                        "text/plain");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 415);
}

TEST_F(HubsimServer, MusicActionsChangeTheAddressedPlayer) {
    post("music/command", musicBody("set_volume", "player", "library", {{"volume", 41.5}}));
    EXPECT_EQ(musicPlayer("player-library").at("volume"), 42);
    post("music/command", musicBody("setVolume", "player", "library", {{"volume", 130.4}}));
    EXPECT_EQ(musicPlayer("player-library").at("volume"), 100);

    post("music/command", musicBody("pause", "player", "library"));
    EXPECT_EQ(musicPlayer("player-library").at("playback"), "paused");
    post("music/command", musicBody("resume", "player", "library"));
    EXPECT_EQ(musicPlayer("player-library").at("playback"), "playing");

    post("music/command", musicBody("pause", "player", "library"));
    post("music/command", musicBody("seek", "player", "library", {{"positionMs", 61000}}));
    EXPECT_EQ(musicPlayer("player-library").at("positionMs"), 61000);

    const auto firstTitle = musicPlayer("player-library").at("title");
    post("music/command", musicBody("next", "player", "library"));
    EXPECT_NE(musicPlayer("player-library").at("title"), firstTitle);
    post("music/command", musicBody("previous", "player", "library"));
    EXPECT_EQ(musicPlayer("player-library").at("title"), firstTitle);

    post("music/command", musicBody("mute", "player", "library"));
    EXPECT_EQ(musicPlayer("player-library").at("muted"), true);
    post("music/command", musicBody("set_shuffle", "player", "library", {{"shuffle", true}}));
    post("music/command", musicBody("set_repeat", "player", "library", {{"repeat", "one"}}));
    auto library = musicPlayer("player-library");
    EXPECT_EQ(library.at("shuffle"), true);
    EXPECT_EQ(library.at("repeat"), "one");

    // Capabilities are honoured: this output cannot mute, the AirPlay one cannot seek.
    EXPECT_EQ(
        post("music/command", musicBody("mute", "player", "spotify-living-room")).at("status"),
        false);
    EXPECT_EQ(
        post("music/command", musicBody("seek", "airplay", "airplay-kitchen", {{"positionMs", 1}}))
            .at("status"),
        false);
    auto unknown = post("music/command", musicBody("warp", "player", "library"));
    EXPECT_NE(std::string(unknown.at("message").as_string()).find("not supported"),
              std::string::npos);
    post("music/command", musicBody("pause", "player", "nowhere"), 404);
    post("music/command", musicBody("pause", "player", ""), 400);
}

TEST_F(HubsimServer, PositionAdvancesWhilePlayingAndTracksMoveOn) {
    post("music/command", musicBody("seek", "player", "library", {{"positionMs", 30000}}));
    // Pretend the last report was five seconds ago instead of waiting for it.
    server_->mutate(
        [](hubsim::HomeModel& m) { m.music().player("player-library")->anchorMs -= 5000; });
    const auto position = musicPlayer("player-library").at("positionMs").as_int64();
    EXPECT_GE(position, 35000);
    EXPECT_LT(position, 36000);

    const auto before = musicPlayer("player-library").at("title");
    const auto revision = server_->revision();
    server_->mutate([](hubsim::HomeModel& m) {
        auto* p = m.music().player("player-library");
        p->anchorMs -= m.music().currentTrack(*p)->durationMs;
    });
    // The ticker notices the end of the track and announces the next one.
    const auto deadline = Clock::now() + 2s;
    while (musicPlayer("player-library").at("title") == before && Clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_NE(musicPlayer("player-library").at("title"), before);
    EXPECT_GE(server_->revision(), revision + 2);
}

TEST_F(HubsimServer, TransfersPlaylistsAndListenLaterMoveTheActivePlayer) {
    const auto source = musicPlayer("player-library");
    post("music/transfer", {{"requestSource", "native-menubar"},
                            {"sourcePlayerId", "player-library"},
                            {"targetPlayerId", "player-this-computer"},
                            {"source", source},
                            {"target", musicPlayer("player-this-computer")}});
    auto s = state();
    const auto& active = s.at("musicPlayer").at("activePlayer").as_object();
    EXPECT_EQ(active.at("id"), "player-this-computer");
    EXPECT_EQ(active.at("title"), source.at("title"));
    EXPECT_EQ(active.at("playback"), "playing");
    EXPECT_EQ(
        std::string(active.at("streamUrl").as_string()).rfind("/media-services/library/stream/", 0),
        0u);
    EXPECT_EQ(musicPlayer("player-library").at("playback"), "paused");
    EXPECT_EQ(post("music/transfer", {{"targetPlayerId", "player-bedroom"}}).at("status"), false)
        << "an unavailable output refuses";

    auto playlists = getJson("music/playlists").at("data").at("playlists").as_array();
    ASSERT_GE(playlists.size(), 4u);
    post("music/playlists/play", {{"source", "native-menubar"},
                                  {"playlist", playlists[3]},
                                  {"target", musicPlayer("player-kitchen-airplay")}});
    s = state();
    EXPECT_EQ(s.at("musicPlayer").at("activePlayer").at("id"), "player-kitchen-airplay");
    EXPECT_EQ(s.at("musicPlayer").at("activePlayer").at("playback"), "playing");
    post("music/playlists/play", {{"playlist", {{"id", "pl-none"}}}}, 404);

    post("music/listen-later/shuffle", {{"source", "native-menubar"},
                                        {"targetPlayerId", "player-living-speaker"},
                                        {"target", musicPlayer("player-living-speaker")}});
    const auto speaker = musicPlayer("player-living-speaker");
    EXPECT_EQ(speaker.at("shuffle"), true);
    EXPECT_EQ(speaker.at("playback"), "playing");
    EXPECT_EQ(state().at("musicPlayer").at("activePlayer").at("id"), "player-living-speaker");
}

TEST_F(HubsimServer, ProgramChoicesDecideWhichAutomationsTheStateLists) {
    auto programs = getJson("program-choices").at("data").at("programs").as_array();
    ASSERT_FALSE(programs.empty());
    bool someDisabled = false, someUnselected = false;
    for (const auto& p : programs) {
        someDisabled = someDisabled || p.at("enabled") == false;
        someUnselected = someUnselected || p.at("selected") == false;
    }
    EXPECT_TRUE(someDisabled);
    EXPECT_TRUE(someUnselected);

    // Only the party flow and the broken script (disabled, so ignored).
    post("program-choices", {{"programIds", {"prog-party", "prog-broken"}}});
    auto s = state();
    ASSERT_EQ(s.at("avFlows").as_array().size(), 1u);
    EXPECT_EQ(s.at("avFlows").at(0).at("id"), "av/party");
    EXPECT_TRUE(s.at("programScenes").as_array().empty());
    EXPECT_TRUE(s.at("programs").as_array().empty());
    EXPECT_FALSE(s.at("scenes").as_array().empty()) << "the older list is not a choice";
    const auto saved = getJson("program-choices");
    for (const auto& p : saved.at("data").at("programs").as_array()) {
        EXPECT_EQ(p.at("selected") == true, p.at("id") == "prog-party") << p;
    }

    post("program-choices", json::object{{"programIds", json::array{}}});
    EXPECT_TRUE(state().at("avFlows").as_array().empty());
    post("program-choices", {{"programIds", "prog-party"}}, 400);
}

TEST_F(HubsimServer, AppleTvAppsListAndLaunch) {
    auto apps = getJson("devices/atv%2Fliving-room/apps").at("data").at("apps").as_array();
    int httpIcons = 0, inlineIcons = 0;
    for (const auto& app : apps) {
        const auto* icon = app.as_object().if_contains("iconUrl");
        if (!icon) {
            continue;
        }
        const std::string url(icon->as_string());
        if (url.rfind(server_->origin(), 0) == 0) {
            ++httpIcons;
            const auto path = url.substr(server_->origin().size());
            auto res = client_->Get(path.c_str());
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, url.find("missing") == std::string::npos ? 200 : 404) << url;
            // One icon is a success whose body no image reader takes.
            const bool isPng = res->body.rfind("\x89PNG", 0) == 0;
            EXPECT_EQ(isPng, res->status == 200 && url.find("garbled") == std::string::npos) << url;
        } else if (url.rfind("data:image/png;base64,", 0) == 0) {
            ++inlineIcons;
        }
    }
    EXPECT_GE(httpIcons, 2);
    EXPECT_GE(inlineIcons, 1);
    EXPECT_TRUE(std::any_of(apps.begin(), apps.end(), [](const auto& app) {
        return !app.as_object().contains("id");
    })) << "an app without an id";

    post("devices/atv%2Fliving-room/apps/com.example.streamflix/launch",
         {{"source", "native-menubar"}, {"appId", "com.example.streamflix"}});
    EXPECT_EQ(device("atv/living-room").at("state").at("currentAppName"), "Streamflix");
    post("devices/atv%2Fliving-room/apps/com.example.none/launch", {{"appId", "com.example.none"}},
         404);
    EXPECT_EQ(getJson("devices/tv-living/apps").at("status"), false);
}

TEST_F(HubsimServer, AnAppListChangedOnTheDeviceIsServedNextTimeWithoutAnAnnouncement) {
    auto replace = [&](const std::string& id, const std::string& body) {
        return client_->Post(("/hubsim/devices/" + id + "/apps").c_str(), body, "application/json");
    };
    const auto revision = server_->revision();
    auto res = replace(
        "atv%2Fliving-room",
        R"([{"id":"com.example.new","iconUrl":"{origin}/media-services/app-icons/n.png"}])");
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200) << res->body;
    auto apps = getJson("devices/atv%2Fliving-room/apps").at("data").at("apps").as_array();
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].at("iconUrl").as_string(),
              server_->origin() + "/media-services/app-icons/n.png");
    // The device record is untouched; a device without apps gets a list, an empty one too.
    EXPECT_EQ(device("atv/living-room").at("state").at("currentAppName"), "TV");
    ASSERT_EQ(replace("tv-living", "[]")->status, 200);
    EXPECT_TRUE(getJson("devices/tv-living/apps").at("data").at("apps").as_array().empty());
    const struct {
        const char* id;
        const char* body;
        int status;
    } refused[] = {
        {"no-such-device", "[]", 404},
        {"atv%2Fliving-room", R"({"apps":[]})", 400},
        {"atv%2Fliving-room", "[1]", 400},
        {"atv%2Fliving-room", "not json", 400},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.body);
        res = replace(r.id, r.body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, r.status);
    }
    EXPECT_EQ(getJson("devices/atv%2Fliving-room/apps").at("data").at("apps").as_array().size(),
              1u);
    EXPECT_EQ(server_->revision(), revision);
    // The demo's media device without a remote layout.
    const auto radio = device("radio-kitchen");
    EXPECT_EQ(radio.at("kind"), "media");
    EXPECT_FALSE(radio.contains("mediaRemote"));
}

TEST_F(HubsimServer, StreamAnnouncesACommandWithin200Milliseconds) {
    StreamReader stream(server_->port(), kToken);
    ASSERT_NE(stream.waitFor(": connected", 2000ms), std::string::npos);
    const size_t mark = stream.size();
    const auto sent = Clock::now();
    post("devices/lamp-floor/commands/turn_on/run", {{"payload", json::object{}}});
    const auto at = stream.waitFor("event: state", 1000ms, mark);
    const auto latency = Clock::now() - sent;
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(latency, 200ms);
    RecordProperty(
        "event_latency_us",
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(latency).count()));
    EXPECT_NE(stream.waitFor("data: {\"revision\":1", 1000ms, mark), std::string::npos);

    // Reads and refused commands announce nothing, so the next event is the next change.
    const size_t quiet = stream.size();
    getJson("music/playlists");
    getJson("devices/atv%2Fliving-room/apps");
    post("devices/lock-front/commands/self_destruct/run", {{"payload", json::object{}}});
    post("items/no-such-item/run", {{"confirm", true}}, 404);
    EXPECT_EQ(server_->revision(), 1u);
    post("items/av%2Fmovie-night/run", {{"confirm", true}});
    const auto next = stream.waitFor("event: state", 1000ms, quiet);
    ASSERT_NE(next, std::string::npos);
    EXPECT_EQ(stream.text().find("data: {\"revision\":2", next), next + 13);
}

TEST_F(HubsimServer, IdleStreamsGetKeepAliveComments) {
    hubsim::ServerOptions options;
    options.keepAliveInterval = 100ms;
    startServer(options);
    StreamReader stream(server_->port(), kToken);
    ASSERT_NE(stream.waitFor(": keepalive", 2000ms), std::string::npos);
    EXPECT_EQ(stream.status(), 200);
}

TEST_F(HubsimServer, ASecondServerCannotTakeTheSamePort) {
    hubsim::ServerOptions options;
    options.port = server_->port();
    options.token = kToken;
    hubsim::Server second(options);
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.lastError().find(std::to_string(server_->port())), std::string::npos);
    // The first one still answers everything.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(getJson("state").at("status"), true);
    }
}

TEST_F(HubsimServer, FaultFlagsBreakAnswersOnRequest) {
    hubsim::Faults faults;
    faults.failRate = 1;
    server_->setFaults(faults);
    auto res = client_->Get("/app/os/mac-control/state", auth());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);

    faults = {};
    faults.statusFalseRate = 1;
    server_->setFaults(faults);
    auto refused = post("devices/lamp-floor/commands/turn_on/run", {{"payload", json::object{}}});
    EXPECT_EQ(refused.at("status"), false);
    EXPECT_FALSE(refused.at("message").as_string().empty());
    EXPECT_EQ(json::parse(client_->Get("/app/os/mac-control/state", auth())->body).at("status"),
              false);
    EXPECT_EQ(server_->revision(), 0u) << "a refused command does nothing";

    // A refused route fails on its own; "state" and the other routes keep answering.
    faults = {};
    faults.refusedRoutes = {"music/"};
    server_->setFaults(faults);
    EXPECT_EQ(post("music/command", {{"action", "pause"}, {"targetType", "library"}}).at("status"),
              false);
    EXPECT_EQ(
        json::parse(client_->Get("/app/os/mac-control/music/playlists", auth())->body).at("status"),
        false);
    EXPECT_NE(json::parse(client_->Get("/app/os/mac-control/state", auth())->body).at("status"),
              false);
    EXPECT_EQ(
        post("devices/lamp-floor/commands/turn_on/run", {{"payload", json::object{}}}).at("status"),
        true);

    faults = {};
    faults.statusFalseRate = 0.5;
    server_->setFaults(faults);
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
        auto r = client_->Get("/app/os/mac-control/music/playlists", auth());
        ASSERT_TRUE(r);
        failures += json::parse(r->body).at("status") == false;
    }
    EXPECT_GT(failures, 60);
    EXPECT_LT(failures, 140);

    faults = {};
    faults.latencyMs = 120;
    server_->setFaults(faults);
    const auto start = Clock::now();
    getJson("state");
    EXPECT_GE(Clock::now() - start, 120ms);

    faults = {};
    faults.malformedState = hubsim::MalformedState::NotJson;
    server_->setFaults(faults);
    res = client_->Get("/app/os/mac-control/state", auth());
    ASSERT_TRUE(res);
    boost::system::error_code ec;
    json::parse(res->body, ec);
    EXPECT_TRUE(ec);

    faults.malformedState = hubsim::MalformedState::NotObject;
    server_->setFaults(faults);
    EXPECT_TRUE(json::parse(client_->Get("/app/os/mac-control/state", auth())->body).is_array());

    faults.malformedState = hubsim::MalformedState::Deep;
    server_->setFaults(faults);
    res = client_->Get("/app/os/mac-control/state", auth());
    ASSERT_TRUE(res);
    EXPECT_GT(res->body.size(), 200000u);
    json::parse_options unlimited;
    unlimited.max_depth = 200000;
    json::parse(res->body, ec, {}, unlimited);
    EXPECT_FALSE(ec) << "deep, but well-formed";
}

TEST_F(HubsimServer, StreamsAreDroppedAfterTheConfiguredTimeAndOnDemand) {
    hubsim::Faults faults;
    faults.dropStreamsAfterSeconds = 0.2;
    server_->setFaults(faults);
    const auto start = Clock::now();
    {
        StreamReader stream(server_->port(), kToken);
        ASSERT_TRUE(stream.waitForEnd(2000ms));
        EXPECT_GE(Clock::now() - start, 190ms);
        EXPECT_EQ(stream.status(), 200);
    }
    server_->setFaults({});
    StreamReader stream(server_->port(), kToken);
    ASSERT_NE(stream.waitFor(": connected", 2000ms), std::string::npos);
    // The dropped stream's worker may still be winding down after its client saw the end.
    const auto deadline = Clock::now() + 2s;
    while (server_->openStreams() != 1u && Clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(server_->openStreams(), 1u);
    server_->dropStreams();
    EXPECT_TRUE(stream.waitForEnd(2000ms));
    EXPECT_EQ(server_->streamOpenTimes().size(), 2u);
}

TEST_F(HubsimServer, StopEndsOpenStreamsPromptly) {
    StreamReader stream(server_->port(), kToken);
    ASSERT_NE(stream.waitFor(": connected", 2000ms), std::string::npos);
    const auto start = Clock::now();
    server_->stop();
    EXPECT_LT(Clock::now() - start, 1500ms);
    EXPECT_TRUE(stream.waitForEnd(2000ms));
}

TEST_F(HubsimServer, MediaArtworkAudioAndDashboard) {
    auto wide = client_->Get("/media-services/artwork/trk-02.png?size=1000x500");
    ASSERT_TRUE(wide);
    ASSERT_EQ(wide->status, 200);
    EXPECT_EQ(wide->get_header_value("Content-Type"), "image/png");
    ASSERT_GT(wide->body.size(), 24u);
    EXPECT_EQ(wide->body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto be32 = [&](size_t at) {
        const auto* b = reinterpret_cast<const unsigned char*>(wide->body.data()) + at;
        return (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    };
    EXPECT_EQ(be32(16), 1000);
    EXPECT_EQ(be32(20), 500);

    auto audio = client_->Get("/media-services/library/stream/trk-01");
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->status, 200);
    EXPECT_EQ(audio->body.substr(0, 4), "RIFF");
    EXPECT_EQ(client_->Get("/media-services/library/stream/nothing")->status, 404);

    auto page = client_->Get("/os");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Living Room"), std::string::npos);
}

TEST_F(HubsimServer, ScaledHomeHasTheAskedNumberOfRoomsAndDevices) {
    hubsim::ServerOptions options;
    options.scaleRooms = 50;
    options.scaleDevicesPerRoom = 40;
    startServer(options);
    auto s = state();
    ASSERT_EQ(s.at("rooms").as_array().size(), 50u);
    size_t devices = 0;
    for (const auto& room : s.at("rooms").as_array()) {
        devices += room.at("devices").as_array().size();
    }
    EXPECT_GE(devices, 2000u);
    EXPECT_GE(getJson("music/playlists").at("data").at("playlists").as_array().size(), 30u);
    post("items/room-7%2Fdevice-1%2Fon/run", {{"confirm", true}});
}

TEST_F(HubsimServer, AWallSwitchChangeMergesIntoTheDeviceAndIsAnnounced) {
    StreamReader stream(server_->port(), kToken);
    ASSERT_NE(stream.waitFor(": connected", 2000ms), std::string::npos);
    const size_t mark = stream.size();
    auto change = [&](const std::string& id, const std::string& body) {
        return client_->Post(("/hubsim/devices/" + id).c_str(), body, "application/json");
    };

    // No token: the change is made at the device, not through the API.
    auto res = change("switch-blanket", R"({"power":{"isOn":true}})");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
    // Announced (the music may announce a track's end in the same event).
    ASSERT_NE(stream.waitFor("event: state", 2000ms, mark), std::string::npos);
    auto blanket = device("switch-blanket");
    EXPECT_EQ(blanket.at("power").at("isOn"), true);
    EXPECT_EQ(blanket.at("power").at("onItemId"), "switch-blanket/on");  // merged, not replaced
    EXPECT_EQ(blanket.at("state").at("status"), "On");

    // Null removes a member; ids with a slash are percent-encoded.
    res = change("light-ceiling", R"({"color":null,"brightness":{"value":15}})");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    const auto ceiling = device("light-ceiling");
    EXPECT_FALSE(ceiling.contains("color"));
    EXPECT_EQ(ceiling.at("brightness").at("value"), 15);
    EXPECT_EQ(ceiling.at("brightness").at("command"), "set_brightness");
    res = change("atv%2Fliving-room", R"({"state":{"currentAppName":"Music"}})");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    const auto revision = server_->revision();
    const struct {
        const char* id;
        const char* body;
        int status;
    } refused[] = {
        {"no-such-device", "{}", 404},
        {"switch-blanket", "[1]", 400},
        {"switch-blanket", "not json", 400},
        {"switch-blanket", R"({"id":"other"})", 400},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.body);
        res = change(r.id, r.body);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, r.status);
    }
    EXPECT_EQ(server_->revision(), revision);
}

TEST_F(HubsimServer, TheDemoHomeHasADeviceForEveryRowRule) {
    // Power run through commands, a fan the hub cannot set, seven commands, and a command list
    // that is not all objects.
    EXPECT_FALSE(device("fan-ceiling").at("power").as_object().contains("onItemId"));
    EXPECT_EQ(device("radiator-hall").at("brightness").at("command"), "");
    const auto sprinklers = device("sprinklers").at("commands").as_object();
    EXPECT_EQ(sprinklers.at("primary").as_array().size() + sprinklers.at("other").as_array().size(),
              7u);
    EXPECT_TRUE(device("intercom").at("commands").at("primary").as_array()[1].is_string());

    post("devices/fan-ceiling/commands/turn_off/run", {{"payload", json::object{}}});
    EXPECT_EQ(device("fan-ceiling").at("power").at("isOn"), false);
    post("devices/sprinklers/commands/all_off/run", {{"payload", json::object{}}});
    post("items/intercom%2Fopen/run", {{"confirm", true}});
}

TEST_F(HubsimServer, AHomeFileIsServedAndCommandsApplyToIt) {
    std::string error;
    auto home = hubsim::homeFromJson(json::parse(R"({
        "rooms": [{"id": "den", "name": "Den", "devices": [
            {"id": "plug", "name": "Plug", "kind": "switch",
             "power": {"isOn": false, "onItemId": "plug/on", "offItemId": "plug/off"}}]}],
        "programs": [{"lists": ["programScenes"],
                      "record": {"id": "scene/x", "programId": "prog-x", "label": "X",
                                 "scene": {"active": false}}}]})"),
                                     error);
    ASSERT_TRUE(home) << error;
    hubsim::ServerOptions options;
    options.home = std::move(*home);
    startServer(options);
    const auto s = state();
    ASSERT_EQ(s.at("rooms").as_array().size(), 1u);
    EXPECT_EQ(s.at("programScenes").as_array().size(), 1u);
    EXPECT_TRUE(s.at("pinned").as_array().empty());
    post("items/plug%2Fon/run", {{"confirm", true}});
    EXPECT_EQ(device("plug").at("power").at("isOn"), true);

    // Shapes the model cannot walk are refused with a reason, never served.
    const char* broken[] = {
        R"([])",
        R"({"rooms": {}})",
        R"({"rooms": [{"devices": [1]}]})",
        R"({"pinned": [true]})",
        R"({"programs": [{"record": {}}]})",
        R"({"programs": [{"record": {}, "lists": ["programs"], "selected": "yes"}]})",
        R"({"apps": {"atv": [1]}})",
    };
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        error.clear();
        EXPECT_FALSE(hubsim::homeFromJson(json::parse(text), error));
        EXPECT_FALSE(error.empty());
    }

    const auto dir =
        std::filesystem::temp_directory_path() / ("hubsim-home-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "home.json") << R"({"rooms": [{"name": "Attic"}]})";
    std::ofstream(dir / "bad.json") << "{ not json";
    EXPECT_TRUE(hubsim::loadHome((dir / "home.json").string(), error)) << error;
    EXPECT_FALSE(hubsim::loadHome((dir / "bad.json").string(), error));
    EXPECT_NE(error.find("not JSON"), std::string::npos);
    EXPECT_FALSE(hubsim::loadHome((dir / "missing.json").string(), error));
    std::filesystem::remove_all(dir);
}

TEST(HubsimTokenFile, IsCreatedPrivatelyWhenMissingAndReadTrimmedOtherwise) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("hubsim-token-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const auto path = (dir / "nested" / "token").string();
    std::string error;
    const std::string created = hubsim::loadOrCreateToken(path, error);
    ASSERT_FALSE(created.empty()) << error;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(hubsim::loadOrCreateToken(path, error), created) << "an existing token is kept";

    std::ofstream(path) << "  given-token \n\n";
    EXPECT_EQ(hubsim::loadOrCreateToken(path, error), "given-token");
    std::ofstream(path) << " \n";
    const std::string replaced = hubsim::loadOrCreateToken(path, error);
    EXPECT_FALSE(replaced.empty());
    EXPECT_NE(replaced, created);
    std::filesystem::remove_all(dir);
}

}  // namespace

// The desktop's media controls, headless: what a state shows and what a call sends.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "HubTestSupport.h"
#include "MenuTestSupport.h"
#include "desktop/MprisPlayerModel.h"
#include "platform/Json.h"
#include "platform/testing/RecordingAlertPresenter.h"
#include "platform/testing/RecordingMprisService.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using Kind = MprisRequest::Kind;
using Transfer = std::shared_ptr<FakeHttpClient::Transfer>;
using Lines = std::vector<std::string>;

constexpr const char* kFixture = "music-player-with-outputs.json";

MprisRequest requestOf(Kind kind) {
    MprisRequest request;
    request.kind = kind;
    return request;
}

class MprisPlayerTest : public ::testing::Test {
  protected:
    MprisPlayerTest() {
        PlatformServices services = platformServices();
        services.alerts = &alerts;
        installPlatformServices(services);
        platform.environment.set("ORBELUNE_MAC_CONTROL_BASE_URL",
                                 "http://127.0.0.1:8787/app/os/mac-control");
        client = platform.makeClient();
        model = std::make_unique<MprisPlayerModel>(mpris, *client, sends, [this] { ++refreshes; });
        fixture = *testing::loadStateFixture(kFixture);
    }

    double now() const { return platform.loop.wallClockMs(); }

    /// The fixture's active player with `edit` applied.
    JsonObject active(const std::function<void(JsonObject&)>& edit = {}) const {
        JsonObject player = fixture.at("musicPlayer").at("activePlayer").as_object();
        if (edit) {
            edit(player);
        }
        return player;
    }
    /// The fixture whose active player is `player`.
    JsonObject stateWith(const JsonObject& player) const {
        JsonObject state = fixture;
        state["musicPlayer"].as_object()["activePlayer"] = player;
        return state;
    }
    MprisSnapshot snapshotOf(const JsonObject& player) const {
        return mprisSnapshot(player, client->baseURL(), now());
    }
    void show(const JsonObject& player) {
        const JsonObject state = stateWith(player);
        model->update(&state, std::nullopt);
    }

    std::vector<Transfer> commands() const {
        std::vector<Transfer> found;
        for (const auto& t : platform.http.transfers()) {
            if (t->request.url.ends_with("/music/command")) {
                found.push_back(t);
            }
        }
        return found;
    }
    JsonObject bodyOf(const Transfer& transfer) const {
        auto parsed = parseJson(transfer->request.body.value_or("{}"));
        return parsed.ok() && parsed.value().is_object() ? parsed.value().get_object()
                                                         : JsonObject{};
    }
    void answer(const Transfer& transfer, Result<HttpResponse> result) {
        platform.http.respond(transfer, std::move(result));
        platform.loop.runUntilIdle();
    }

    testing::HeadlessPlatform platform;
    RecordingAlertPresenter alerts;
    RecordingMprisService mpris;
    std::unique_ptr<OrbeluneClient> client;
    OrderedSends sends;
    std::unique_ptr<MprisPlayerModel> model;
    JsonObject fixture;
    int refreshes = 0;
};

TEST_F(MprisPlayerTest, APlayingTrackShowsEverythingTheDesktopAsksFor) {
    const MprisSnapshot s = snapshotOf(active([&](JsonObject& p) {
        p["artworkUrl"] = "/media/artwork/polar.jpg";
        p["contentId"] = "library:track:41";
        p["repeat"] = "Track";
        p["shuffle"] = true;
        p["lastUpdatedAt"] = now() - 5000;
    }));
    EXPECT_EQ(s.metadata.title, "Northern Lights");
    EXPECT_EQ(s.metadata.artists, std::vector<std::string>{"Ada Vance"});
    EXPECT_EQ(s.metadata.album, "Polar");
    EXPECT_EQ(s.metadata.artUrl, "http://127.0.0.1:8787/media/artwork/polar.jpg");
    EXPECT_EQ(s.metadata.lengthUs, 240'000'000);
    EXPECT_TRUE(mprisIsObjectPath(s.metadata.trackId)) << s.metadata.trackId;
    EXPECT_NE(s.metadata.trackId, kMprisNoTrack);
    EXPECT_EQ(s.playbackStatus, MprisPlaybackStatus::Playing);
    EXPECT_EQ(s.positionUs, 65'000'000) << "counted on from the hub's report";
    EXPECT_DOUBLE_EQ(s.volume, 0.35);
    EXPECT_TRUE(s.shuffle);
    EXPECT_EQ(s.loopStatus, MprisLoopStatus::Track);
    EXPECT_TRUE(s.canControl && s.canPlay && s.canPause && s.canGoNext && s.canGoPrevious &&
                s.canSeek);
}

TEST_F(MprisPlayerTest, MissingFieldsAreLeftOutOrFallBack) {
    // Only a name: no track, nothing to command.
    const MprisSnapshot bare = snapshotOf(JsonObject{{"label", "Kitchen"}});
    EXPECT_EQ(bare.metadata, (MprisMetadata{std::string(kMprisNoTrack), "Kitchen", {}, "", "", 0}));
    EXPECT_EQ(bare.playbackStatus, MprisPlaybackStatus::Stopped);
    EXPECT_EQ(bare.positionUs, 0);
    EXPECT_DOUBLE_EQ(bare.volume, 1.0) << "the menu's 100 when the hub says nothing";
    EXPECT_EQ(bare.loopStatus, MprisLoopStatus::None);
    EXPECT_FALSE(bare.canControl || bare.canPlay || bare.canPause || bare.canGoNext ||
                 bare.canGoPrevious || bare.canSeek);

    // The subtitle stands in for a missing artist; odd artwork addresses are left out.
    const MprisSnapshot odd = snapshotOf(active([](JsonObject& p) {
        p.erase("artist");
        p.erase("album");
        p["artworkUrl"] = "javascript:alert(1)";
        p["volume"] = std::numeric_limits<double>::infinity();
    }));
    EXPECT_EQ(odd.metadata.artists, std::vector<std::string>{"Ada Vance"});
    EXPECT_EQ(odd.metadata.album, "");
    EXPECT_EQ(odd.metadata.artUrl, "");
    EXPECT_DOUBLE_EQ(odd.volume, 1.0);
    EXPECT_EQ(snapshotOf(active([](JsonObject& p) { p["volume"] = 140; })).volume, 1.0);
}

TEST_F(MprisPlayerTest, PlaybackAndRepeatWordsMapToTheBusWords) {
    const struct {
        const char* playback;
        MprisPlaybackStatus status;
    } statuses[] = {{"PLAYING", MprisPlaybackStatus::Playing},
                    {"paused", MprisPlaybackStatus::Paused},
                    {"idle", MprisPlaybackStatus::Stopped},
                    {"", MprisPlaybackStatus::Stopped}};
    for (const auto& c : statuses) {
        SCOPED_TRACE(c.playback);
        EXPECT_EQ(
            snapshotOf(active([&](JsonObject& p) { p["playback"] = c.playback; })).playbackStatus,
            c.status);
    }
    const struct {
        const char* repeat;
        MprisLoopStatus loop;
    } loops[] = {{"single", MprisLoopStatus::Track},
                 {"context", MprisLoopStatus::Playlist},
                 {"all", MprisLoopStatus::Playlist},
                 {"off", MprisLoopStatus::None},
                 {"shuffle", MprisLoopStatus::None}};
    for (const auto& c : loops) {
        SCOPED_TRACE(c.repeat);
        EXPECT_EQ(snapshotOf(active([&](JsonObject& p) { p["repeat"] = c.repeat; })).loopStatus,
                  c.loop);
    }
    EXPECT_EQ(mprisLoopStatusNamed("Playlist"), MprisLoopStatus::Playlist);
    EXPECT_EQ(mprisLoopStatusNamed("playlist"), std::nullopt);
}

TEST_F(MprisPlayerTest, CapabilitiesDecideWhatTheDesktopOffers) {
    const MprisSnapshot noSeek = snapshotOf(active([](JsonObject& p) {
        p["capabilities"] = json::object{{"canSeek", false}};
    }));
    EXPECT_FALSE(noSeek.canSeek);
    EXPECT_TRUE(noSeek.canGoNext);
    EXPECT_FALSE(snapshotOf(active([](JsonObject& p) { p.erase("durationMs"); })).canSeek)
        << "no length, nowhere to seek to";
}

TEST_F(MprisPlayerTest, TrackIdsAreObjectPathsThatFollowTheTrack) {
    auto idOf = [&](const char* player, const char* content) {
        return mprisTrackId(active([&](JsonObject& p) {
            p["id"] = player;
            p["contentId"] = content;
        }));
    };
    const std::string first = idOf("player-library", "spotify:track:4/x?y z");
    EXPECT_TRUE(mprisIsObjectPath(first)) << first;
    EXPECT_EQ(first, idOf("player-library", "spotify:track:4/x?y z"));
    EXPECT_NE(first, idOf("player-library", "spotify:track:5"));
    EXPECT_NE(first, idOf("player-kitchen", "spotify:track:4/x?y z"));
    // Without a content id the title, artist and album tell tracks apart.
    EXPECT_NE(mprisTrackId(active()),
              mprisTrackId(active([](JsonObject& p) { p["title"] = "Southern Cross"; })));

    const struct {
        const char* path;
        bool valid;
    } paths[] = {{"/", true},      {"/a/b_1", true}, {"", false},     {"a/b", false},
                 {"/a//b", false}, {"/a/", false},   {"/a-b", false}, {"/a/ü", false}};
    for (const auto& c : paths) {
        EXPECT_EQ(mprisIsObjectPath(c.path), c.valid) << c.path;
    }
}

TEST_F(MprisPlayerTest, TheActivePlayerFollowsTheMenusRule) {
    EXPECT_EQ(string(*mprisActivePlayer(fixture, std::nullopt), "id"), "player-library");
    // The output chosen in the menu takes the hub's place.
    EXPECT_EQ(string(*mprisActivePlayer(fixture, std::string("player-kitchen")), "id"),
              "player-kitchen");
    EXPECT_EQ(string(*mprisActivePlayer(fixture, std::string("gone")), "id"), "player-library");

    JsonObject unavailable = fixture;
    unavailable["musicPlayer"].as_object()["available"] = false;
    EXPECT_EQ(mprisActivePlayer(unavailable, std::nullopt), std::nullopt);
    JsonObject noActive = fixture;
    noActive["musicPlayer"].as_object().erase("activePlayer");
    EXPECT_EQ(mprisActivePlayer(noActive, std::nullopt), std::nullopt);
    EXPECT_EQ(mprisActivePlayer(JsonObject{}, std::nullopt), std::nullopt);
}

TEST_F(MprisPlayerTest, OnlyChangedPropertiesAreAnnounced) {
    const MprisSnapshot before = snapshotOf(active());
    using Names = std::vector<std::string_view>;
    EXPECT_EQ(changedMprisPlayerProperties(before, before), Names{});
    // A position that moved on as expected is no change.
    platform.loop.advance(3s);
    EXPECT_EQ(changedMprisPlayerProperties(before, snapshotOf(active())), Names{});
    EXPECT_EQ(changedMprisPlayerProperties(
                  before, snapshotOf(active([](JsonObject& p) { p["playback"] = "paused"; }))),
              Names{"PlaybackStatus"});
    EXPECT_EQ(changedMprisPlayerProperties(before, snapshotOf(active([](JsonObject& p) {
                                               p["title"] = "Southern Cross";
                                               p["volume"] = 80;
                                           }))),
              (Names{"Metadata", "Volume"}));
    // CanControl is never announced; the others it takes along are.
    EXPECT_EQ(changedMprisPlayerProperties(
                  before, snapshotOf(active([](JsonObject& p) { p["targetId"] = ""; }))),
              (Names{"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanSeek"}));
}

TEST_F(MprisPlayerTest, TheModelPublishesEachStateAndWithdrawsWithoutOne) {
    show(active());
    ASSERT_TRUE(mpris.current());
    EXPECT_EQ(mpris.current()->metadata.title, "Northern Lights");
    model->update(nullptr, std::nullopt);
    EXPECT_EQ(mpris.published.size(), 2u);
    EXPECT_FALSE(mpris.current());
    model->update(nullptr, std::nullopt);
    EXPECT_EQ(mpris.published.size(), 2u) << "withdrawn once";
    EXPECT_TRUE(mpris.seeks.empty());
}

TEST_F(MprisPlayerTest, SeekedOnlyWhenThePositionJumps) {
    auto at = [&](double positionMs, const char* playback = "paused") {
        return active([&](JsonObject& p) {
            p["playback"] = playback;
            p["positionMs"] = positionMs;
            p["lastUpdatedAt"] = now();
        });
    };
    show(at(30000));
    show(at(30400));
    EXPECT_TRUE(mpris.seeks.empty()) << "within the tolerance";
    show(at(90000));
    EXPECT_EQ(mpris.seeks, std::vector<std::int64_t>{90'000'000});
    // Playing on as counted is no jump, however far the clock went.
    show(at(90000, "playing"));
    platform.loop.advance(20s);
    show(at(110000, "playing"));
    EXPECT_EQ(mpris.seeks.size(), 1u);
    // A new track starts at 0 without a seek: its metadata says enough.
    show(active([&](JsonObject& p) {
        p["title"] = "Southern Cross";
        p["positionMs"] = 0;
    }));
    EXPECT_EQ(mpris.seeks.size(), 1u);
}

TEST_F(MprisPlayerTest, HugeHubNumbersAreHeldWithinTheBussIntegers) {
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    const JsonObject huge = active([&](JsonObject& p) {
        p["positionMs"] = 1e299;
        p["durationMs"] = 1e300;
        p["lastUpdatedAt"] = now() - 5000;
    });
    const MprisSnapshot s = snapshotOf(huge);
    EXPECT_EQ(s.metadata.lengthUs, highest);
    EXPECT_EQ(s.positionUs, highest);
    // Counted on while playing, still a 64-bit number.
    EXPECT_GT(s.positionAt(now() + 3'600'000), 0);
    EXPECT_EQ(snapshotOf(active([](JsonObject& p) { p["positionMs"] = -1e300; })).positionUs, 0);
    EXPECT_EQ(snapshotOf(active([](JsonObject& p) { p["positionMs"] = "1e999"; })).positionUs, 0);

    // Shown, withdrawn to the start and shown again: each jump is announced in range.
    show(huge);
    show(active([&](JsonObject& p) {
        p["positionMs"] = 0;
        p["lastUpdatedAt"] = now();
    }));
    show(huge);
    ASSERT_EQ(mpris.seeks.size(), 2u);
    EXPECT_EQ(mpris.seeks[0], 0);
    EXPECT_GT(mpris.seeks[1], 0);

    // A seek from far out sends a whole number of milliseconds the hub can read.
    MprisRequest forward = requestOf(Kind::Seek);
    forward.offsetUs = 1'000'000;
    const std::optional<MusicCommand> seek = mprisCommand(huge, forward, now());
    ASSERT_TRUE(seek);
    EXPECT_EQ(seek->action, "seek");
    EXPECT_EQ(seek->payload.at("positionMs"), json::value(highest));
}

TEST_F(MprisPlayerTest, EachCallAsksTheHubWhatTheMenuWould) {
    // The fixture plays at 1:00 of 4:00 with volume 35.
    const JsonObject playing = active();
    const JsonObject paused = active([](JsonObject& p) { p["playback"] = "paused"; });
    const std::string track = mprisTrackId(playing);
    auto with = [](Kind kind, auto set) {
        MprisRequest r = requestOf(kind);
        set(r);
        return r;
    };
    auto none = [](MprisRequest&) {};
    using Command = std::optional<MusicCommand>;
    auto command = [](const char* action, JsonObject payload = {}) {
        return Command(MusicCommand{action, std::move(payload)});
    };
    const struct {
        const char* name;
        const JsonObject& player;
        MprisRequest request;
        Command expected;
    } cases[] = {
        {"play while playing", playing, requestOf(Kind::Play), std::nullopt},
        {"play", paused, requestOf(Kind::Play), command("resume")},
        {"pause", playing, requestOf(Kind::Pause), command("pause")},
        {"pause while paused", paused, requestOf(Kind::Pause), std::nullopt},
        {"play/pause playing", playing, requestOf(Kind::PlayPause), command("pause")},
        {"play/pause paused", paused, requestOf(Kind::PlayPause), command("resume")},
        {"stop", playing, requestOf(Kind::Stop), command("pause")},
        {"next", playing, requestOf(Kind::Next), command("next")},
        {"previous", paused, requestOf(Kind::Previous), command("previous")},
        {"seek on", paused, with(Kind::Seek, [](auto& r) { r.offsetUs = 10'000'000; }),
         command("seek", {{"positionMs", 70000}})},
        {"seek before the start", paused,
         with(Kind::Seek, [](auto& r) { r.offsetUs = -100'000'000; }),
         command("seek", {{"positionMs", 0}})},
        {"seek past the end", paused, with(Kind::Seek, [](auto& r) { r.offsetUs = 500'000'000; }),
         command("next")},
        {"set position", paused,
         with(Kind::SetPosition,
              [&](auto& r) {
                  r.trackId = track;
                  r.positionUs = 120'000'400;
              }),
         command("seek", {{"positionMs", 120000}})},
        {"set position of a stale track", paused,
         with(Kind::SetPosition,
              [](auto& r) {
                  r.trackId = "/os/orbelune/Corvix/track/old";
                  r.positionUs = 1'000'000;
              }),
         std::nullopt},
        {"set position past the end", paused,
         with(Kind::SetPosition,
              [&](auto& r) {
                  r.trackId = track;
                  r.positionUs = 241'000'000;
              }),
         std::nullopt},
        {"volume", playing, with(Kind::SetVolume, [](auto& r) { r.volume = 0.424; }),
         command("set_volume", {{"volume", 42}})},
        {"volume above one", playing, with(Kind::SetVolume, [](auto& r) { r.volume = 1.7; }),
         command("set_volume", {{"volume", 100}})},
        {"volume below zero", playing, with(Kind::SetVolume, [](auto& r) { r.volume = -1; }),
         command("set_volume", {{"volume", 0}})},
        {"volume not a number", playing,
         with(Kind::SetVolume, [](auto& r) { r.volume = std::nan(""); }), std::nullopt},
        {"shuffle", playing, with(Kind::SetShuffle, [](auto& r) { r.shuffle = true; }),
         command("set_shuffle", {{"shuffle", true}})},
        {"loop track", playing,
         with(Kind::SetLoopStatus, [](auto& r) { r.loopStatus = MprisLoopStatus::Track; }),
         command("set_repeat", {{"repeat", "one"}})},
        {"loop playlist", playing,
         with(Kind::SetLoopStatus, [](auto& r) { r.loopStatus = MprisLoopStatus::Playlist; }),
         command("set_repeat", {{"repeat", "all"}})},
        {"loop none", playing, with(Kind::SetLoopStatus, none),
         command("set_repeat", {{"repeat", "off"}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mprisCommand(c.player, c.request, now()), c.expected);
    }
}

TEST_F(MprisPlayerTest, CallsACapabilityForbidsSendNothing) {
    const JsonObject limited = active([](JsonObject& p) {
        p["capabilities"] = json::object{{"seek", false}, {"volume", false}, {"queue", false}};
    });
    MprisRequest seek = requestOf(Kind::Seek);
    seek.offsetUs = 1'000'000;
    MprisRequest volume = requestOf(Kind::SetVolume);
    volume.volume = 0.5;
    for (const MprisRequest& r :
         {seek, volume, requestOf(Kind::SetShuffle), requestOf(Kind::SetLoopStatus)}) {
        EXPECT_EQ(mprisCommand(limited, r, now()), std::nullopt) << static_cast<int>(r.kind);
    }
    // No target: not even the transport.
    const JsonObject untargeted = active([](JsonObject& p) { p["targetId"] = ""; });
    for (Kind kind : {Kind::PlayPause, Kind::Next, Kind::Previous, Kind::Pause}) {
        EXPECT_EQ(mprisCommand(untargeted, requestOf(kind), now()), std::nullopt);
    }
    // Without a volume capability the hub's volume value still allows it, as in the menu.
    const JsonObject unsaid = active([](JsonObject& p) { p.erase("capabilities"); });
    EXPECT_TRUE(mprisCommand(unsaid, volume, now()));
    EXPECT_FALSE(mprisCommand(active([](JsonObject& p) {
                                  p.erase("capabilities");
                                  p.erase("volume");
                              }),
                              volume, now()));
}

TEST_F(MprisPlayerTest, ACallGoesToTheHubAndShowsItsEffectAtOnce) {
    show(active());
    mpris.call(requestOf(Kind::PlayPause));
    ASSERT_EQ(commands().size(), 1u);
    const JsonObject body = bodyOf(commands()[0]);
    EXPECT_EQ(string(body, "action"), "pause");
    EXPECT_EQ(string(body, "targetId"), "library-1");
    EXPECT_EQ(string(body, "targetType"), "library");
    EXPECT_EQ(string(body, "source"), "native-menubar");
    EXPECT_EQ(mpris.current()->playbackStatus, MprisPlaybackStatus::Paused);

    answer(commands()[0], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(alerts.shown.empty());

    // The projection is what the next call reads: the second press plays again.
    mpris.call(requestOf(Kind::PlayPause));
    EXPECT_EQ(string(bodyOf(commands().back()), "action"), "resume");
}

TEST_F(MprisPlayerTest, FailedAndCancelledCommandsStaySilent) {
    const struct {
        const char* name;
        Result<HttpResponse> answer;
        int refreshes;
        std::int64_t failures;
        MprisPlaybackStatus shown;
    } cases[] = {
        {"refused", HttpResponse{200, {}, R"({"status":false,"message":"Nothing is queued"})"}, 1,
         1, MprisPlaybackStatus::Playing},
        {"server error", HttpResponse{500, {}, "{}"}, 1, 1, MprisPlaybackStatus::Playing},
        {"cancelled", cancellationError(), 0, 0, MprisPlaybackStatus::Paused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        show(active());
        refreshes = 0;
        RuntimeDiagnostics::resetMenuBar();
        mpris.call(requestOf(Kind::Pause));
        answer(commands().back(), c.answer);
        EXPECT_EQ(refreshes, c.refreshes);
        EXPECT_TRUE(alerts.shown.empty()) << "a media key has no place for an alert";
        EXPECT_EQ(RuntimeDiagnostics::menuBar().counters()["mpris_command_failed"], c.failures);
        // A failure shows the hub's own state again instead of the projection.
        EXPECT_EQ(mpris.current()->playbackStatus, c.shown);
    }
}

TEST_F(MprisPlayerTest, SeeksAndVolumesGoOneAtATimeNewestLast) {
    show(active([](JsonObject& p) { p["playback"] = "paused"; }));
    for (double v : {0.5, 0.6, 0.7}) {
        MprisRequest r = requestOf(Kind::SetVolume);
        r.volume = v;
        mpris.call(r);
    }
    ASSERT_EQ(commands().size(), 1u);
    EXPECT_DOUBLE_EQ(mpris.current()->volume, 0.7) << "the desktop shows the user's value";
    // A fetch meanwhile brings the hub's older volume; the user's stays shown.
    show(active([](JsonObject& p) { p["playback"] = "paused"; }));
    EXPECT_DOUBLE_EQ(mpris.current()->volume, 0.7);

    answer(commands()[0], HttpResponse{200, {}, R"({"status":true})"});
    ASSERT_EQ(commands().size(), 2u);
    EXPECT_EQ(bodyOf(commands()[1]).at("volume"), json::value(70));
    EXPECT_EQ(refreshes, 0) << "the superseded answer asks for nothing";
    answer(commands()[1], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(refreshes, 1);

    // A seek through the desktop is a jump the desktop hears of.
    MprisRequest seek = requestOf(Kind::Seek);
    seek.offsetUs = 30'000'000;
    mpris.call(seek);
    EXPECT_EQ(bodyOf(commands().back()).at("positionMs"), json::value(90000));
    EXPECT_EQ(mpris.seeks, std::vector<std::int64_t>{90'000'000});
}

TEST_F(MprisPlayerTest, MediaKeysWaitForTheAnswerBeforeThem) {
    show(active());
    auto actions = [this] {
        Lines sent;
        for (const auto& t : commands()) {
            sent.push_back(string(bodyOf(t), "action"));
        }
        return sent;
    };
    // A flood of presses: one on its way, the rest folded into one that follows it.
    for (int i = 0; i < 10000; ++i) {
        mpris.call(requestOf(Kind::Next));
    }
    EXPECT_EQ(actions(), (Lines{"next"}));
    answer(commands()[0], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(actions(), (Lines{"next", "next"}));
    answer(commands()[1], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(commands().size(), 2u);
    EXPECT_EQ(refreshes, 1) << "only the last answer asks for fresh state";

    // Two quick presses are two steps; the newest direction is the one that waits.
    mpris.call(requestOf(Kind::Next));
    mpris.call(requestOf(Kind::Next));
    mpris.call(requestOf(Kind::Previous));
    answer(commands()[2], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(actions(), (Lines{"next", "next", "next", "previous"}));
    answer(commands()[3], HttpResponse{200, {}, R"({"status":true})"});

    // Play and pause: presses that cancel out leave nothing waiting, an odd count one.
    for (int i = 0; i < 10000; ++i) {
        mpris.call(requestOf(Kind::PlayPause));
    }
    EXPECT_EQ(commands().size(), 5u);
    EXPECT_EQ(mpris.current()->playbackStatus, MprisPlaybackStatus::Playing);
    mpris.call(requestOf(Kind::PlayPause));
    // The hub's older word arrives meanwhile: the user's pause stays shown and is what the
    // next press turns around.
    show(active());
    EXPECT_EQ(mpris.current()->playbackStatus, MprisPlaybackStatus::Paused);
    answer(commands()[4], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(actions().size(), 5u) << "the pause on its way was already the newest";
    mpris.call(requestOf(Kind::PlayPause));
    mpris.call(requestOf(Kind::PlayPause));
    EXPECT_EQ(actions().back(), "resume");
    answer(commands()[5], HttpResponse{200, {}, R"({"status":true})"});
    EXPECT_EQ(actions(), (Lines{"next", "next", "next", "previous", "pause", "resume", "pause"}));
}

TEST_F(MprisPlayerTest, CallsWithoutAPlayerAndAfterTheModelAreIgnored) {
    mpris.call(requestOf(Kind::PlayPause));
    EXPECT_TRUE(commands().empty());
    show(active());
    model.reset();
    EXPECT_FALSE(mpris.hasHandler());
    mpris.call(requestOf(Kind::PlayPause));
    EXPECT_TRUE(commands().empty());
}

}  // namespace
}  // namespace corvix

#include <gtest/gtest.h>

#include <string>

#include "HubTestSupport.h"
#include "platform/testing/RecordingAudioService.h"
#include "playback/LocalAudioPlayer.h"

namespace corvix {
namespace {

constexpr double kNowMs = 1'700'000'000'000.0;
const char* kBase = "http://127.0.0.1:8080/app/os/mac-control/";

JsonObject localPlayer(std::string playback = "playing") {
    return JsonObject{{"id", "player-this-computer"},
                      {"targetType", "built_in_player"},
                      {"targetId", "orbelune_local_player"},
                      {"streamUrl", "/media-services/library/stream/trk-01"},
                      {"playback", std::move(playback)},
                      {"positionMs", 0},
                      {"durationMs", 214000},
                      {"lastUpdatedAt", kNowMs},
                      {"volume", 80}};
}

JsonObject stateWith(const JsonObject& active, bool available = true) {
    return JsonObject{
        {"musicPlayer", JsonObject{{"available", available}, {"activePlayer", active}}}};
}

struct LocalAudioPlayerTest : ::testing::Test {
    testing::HeadlessPlatform platform;
    RecordingAudioService audio;
    Url base = *Url::parseAbsolute(kBase);

    LocalAudioPlayerTest() {
        PlatformServices services = platformServices();
        services.audio = &audio;
        installPlatformServices(services);
        platform.loop.setWallClockStartMs(kNowMs);
    }

    LocalAudioPlayer& local() { return LocalAudioPlayer::shared(); }
    void sync(const JsonObject& active) { local().sync(stateWith(active), base); }
};

TEST_F(LocalAudioPlayerTest, FollowsOnlyThisComputersPlayer) {
    struct Case {
        const char* name;
        JsonObject active;
        bool followed;
    };
    JsonObject browser = localPlayer();
    browser["targetId"] = "some-speaker";
    browser["targetType"] = "player";
    browser["localBrowserPlayback"] = true;
    JsonObject wrongType = localPlayer();
    wrongType["targetType"] = "player";
    JsonObject wrongId = localPlayer();
    wrongId["targetId"] = "orbelune_local_player2";
    JsonObject noStream = localPlayer();
    noStream.erase("streamUrl");
    JsonObject fileStream = localPlayer();
    fileStream["streamUrl"] = "file:///etc/passwd";
    JsonObject otherScheme = localPlayer();
    otherScheme["streamUrl"] = "rtsp://127.0.0.1/stream";
    const Case cases[] = {
        {"built-in player", localPlayer(), true}, {"browser playback on any target", browser, true},
        {"target type player", wrongType, false}, {"another target id", wrongId, false},
        {"no stream", noStream, false},           {"a file", fileStream, false},
        {"another scheme", otherScheme, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LocalAudioPlayer::resetShared();
        audio.players.clear();
        sync(c.active);
        EXPECT_EQ(local().hasPlayer(), c.followed);
        EXPECT_EQ(audio.liveCount(), c.followed ? 1 : 0);
        if (c.followed) {
            EXPECT_EQ(audio.last()->url,
                      "http://127.0.0.1:8080/media-services/library/stream/trk-01");
            EXPECT_TRUE(audio.last()->waitsToMinimizeStalling);
            EXPECT_TRUE(audio.last()->playing);
        }
    }
}

TEST_F(LocalAudioPlayerTest, RefusedSchemeIsRememberedAndNotRetried) {
    JsonObject active = localPlayer();
    active["streamUrl"] = "file:///music/a.flac";
    sync(active);
    sync(active);
    EXPECT_EQ(audio.players.size(), 0u);
    EXPECT_EQ(local().currentStreamUrl(), "file:///music/a.flac");
    EXPECT_FALSE(local().isPlaying());
    sync(localPlayer());  // a web stream after it is played
    EXPECT_EQ(audio.liveCount(), 1);
}

TEST_F(LocalAudioPlayerTest, PlayStateAndLeavingTheLocalTarget) {
    for (const char* playback : {"Playing", "PLAYING", "playing"}) {
        SCOPED_TRACE(playback);
        sync(localPlayer(playback));
        EXPECT_TRUE(local().isPlaying());
        EXPECT_TRUE(audio.last()->playing);
    }
    for (const char* playback : {"paused", "stopped", ""}) {
        SCOPED_TRACE(playback);
        sync(localPlayer(playback));
        EXPECT_FALSE(local().isPlaying());
        EXPECT_FALSE(audio.last()->playing);
    }
    // The same stream all along: one player, asked on every sync.
    EXPECT_EQ(audio.players.size(), 1u);
    EXPECT_EQ(audio.last()->playRequests, 3);

    local().sync(stateWith(localPlayer(), /*available=*/false), base);
    EXPECT_FALSE(local().hasPlayer());
    EXPECT_EQ(audio.liveCount(), 0);
    EXPECT_FALSE(local().currentStreamUrl());
    EXPECT_FALSE(audio.last()->playing);
}

TEST_F(LocalAudioPlayerTest, EquivalentLocationsKeepThePlayerAndANewTrackReplacesIt) {
    sync(localPlayer());
    JsonObject absolute = localPlayer();
    absolute["streamUrl"] = "http://127.0.0.1:8080/media-services/library/stream/trk-01";
    sync(absolute);
    EXPECT_EQ(audio.players.size(), 1u);

    JsonObject next = localPlayer();
    next["streamUrl"] = "/media-services/library/stream/trk-02";
    next.erase("volume");
    sync(next);
    ASSERT_EQ(audio.players.size(), 2u);
    EXPECT_FALSE(audio.players[0]->alive);
    EXPECT_TRUE(audio.players[1]->alive);
    // The next track keeps the listener's volume rather than starting at full.
    EXPECT_DOUBLE_EQ(*audio.players[1]->volume, 0.8);
}

TEST_F(LocalAudioPlayerTest, VolumeAndMute) {
    struct Case {
        const char* name;
        std::optional<double> volume;
        bool muted;
        double expected;
    };
    const Case cases[] = {
        {"above full", 150, false, 1.0}, {"negative", -5, false, 0.0},
        {"half", 50, false, 0.5},        {"missing keeps the last", std::nullopt, false, 0.5},
        {"muted", 70, true, 0.0},        {"unmuted again", std::nullopt, false, 0.7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JsonObject active = localPlayer();
        if (c.volume) {
            active["volume"] = *c.volume;
        } else {
            active.erase("volume");
        }
        active["muted"] = c.muted;
        sync(active);
        ASSERT_TRUE(audio.last()->volume);
        EXPECT_DOUBLE_EQ(*audio.last()->volume, c.expected);
    }
    EXPECT_EQ(audio.players.size(), 1u);
}

TEST_F(LocalAudioPlayerTest, StartsWhereTheHubIsAndFollowsSeeksMadeElsewhere) {
    JsonObject active = localPlayer();
    active["positionMs"] = 60000;
    sync(active);
    ASSERT_EQ(audio.last()->seeks.size(), 1u);
    EXPECT_DOUBLE_EQ(audio.last()->seeks[0], 60000);

    // Ten seconds of playing later the hub says 70 s: nobody moved it.
    platform.loop.advance(std::chrono::seconds(10));
    active["positionMs"] = 70000;
    active["lastUpdatedAt"] = kNowMs + 10000;
    sync(active);
    EXPECT_EQ(audio.last()->seeks.size(), 1u);

    // Someone jumped to 2:30 on another screen.
    platform.loop.advance(std::chrono::seconds(1));
    active["positionMs"] = 150000;
    active["lastUpdatedAt"] = kNowMs + 11000;
    sync(active);
    ASSERT_EQ(audio.last()->seeks.size(), 2u);
    EXPECT_DOUBLE_EQ(audio.last()->seeks[1], 150000);

    // Paused, the position stands still; a small drift is not a seek.
    active["playback"] = "paused";
    sync(active);
    platform.loop.advance(std::chrono::seconds(20));
    active["positionMs"] = 151500;
    sync(active);
    EXPECT_EQ(audio.last()->seeks.size(), 2u);
}

TEST_F(LocalAudioPlayerTest, WithoutAReportTimeOnlyANewPositionIsFollowed) {
    JsonObject active = localPlayer();
    active.erase("lastUpdatedAt");
    active["positionMs"] = 60000;
    sync(active);
    ASSERT_EQ(audio.last()->seeks, std::vector<double>{60000});

    // Refresh after refresh the hub repeats where the track was: the stream plays on.
    for (int refresh = 0; refresh < 3; ++refresh) {
        platform.loop.advance(std::chrono::seconds(10));
        sync(active);
    }
    EXPECT_EQ(audio.last()->seeks.size(), 1u);

    // A new position that matches the playing since it was first reported is no jump.
    platform.loop.advance(std::chrono::seconds(5));
    active["positionMs"] = 95000;
    sync(active);
    EXPECT_EQ(audio.last()->seeks.size(), 1u);

    // One that does not is a seek made elsewhere.
    platform.loop.advance(std::chrono::seconds(5));
    active["positionMs"] = 150000;
    sync(active);
    EXPECT_EQ(audio.last()->seeks, (std::vector<double>{60000, 150000}));

    // Paused with the same position, and playing again later: still no jump back.
    active["playback"] = "paused";
    sync(active);
    platform.loop.advance(std::chrono::seconds(30));
    active["playback"] = "playing";
    sync(active);
    platform.loop.advance(std::chrono::seconds(30));
    sync(active);
    EXPECT_EQ(audio.last()->seeks.size(), 2u);
    EXPECT_TRUE(audio.last()->playing);
}

TEST_F(LocalAudioPlayerTest, PositionsBeyondAnyStreamSeekToTheFurthestPlaceAndNoFurther) {
    JsonObject active = localPlayer();
    active.erase("durationMs");
    active["positionMs"] = 1e300;
    sync(active);
    ASSERT_EQ(audio.last()->seeks.size(), 1u);
    EXPECT_EQ(audio.last()->seeks[0], static_cast<double>(kFurthestAudioSeekMs));

    // Back from there to the start, then a string that overflows a double and a huge duration.
    platform.loop.advance(std::chrono::seconds(1));
    active["positionMs"] = -1e300;
    active["lastUpdatedAt"] = kNowMs + 1000;
    sync(active);
    platform.loop.advance(std::chrono::seconds(1));
    active["positionMs"] = "1e999";
    active["lastUpdatedAt"] = kNowMs + 2000;
    sync(active);
    platform.loop.advance(std::chrono::seconds(1));
    active["positionMs"] = 5e299;
    active["durationMs"] = 1e300;
    active["lastUpdatedAt"] = kNowMs + 3000;
    sync(active);
    EXPECT_EQ(audio.last()->seeks,
              (std::vector<double>{static_cast<double>(kFurthestAudioSeekMs), 0,
                                   static_cast<double>(kFurthestAudioSeekMs)}));
    EXPECT_EQ(audio.players.size(), 1u);
}

TEST_F(LocalAudioPlayerTest, AFinishedStreamIsNotStartedOverBySyncs) {
    sync(localPlayer());
    audio.last()->ended = true;
    audio.last()->playing = false;
    const int plays = audio.last()->playRequests;
    // The hub still says playing, at the end of the track.
    platform.loop.advance(std::chrono::seconds(1));
    JsonObject atEnd = localPlayer();
    atEnd["positionMs"] = 214000;
    atEnd["lastUpdatedAt"] = kNowMs + 1000;
    sync(atEnd);
    // That is a jump from 1 s, so it is followed (to the end) and the end is not left.
    platform.loop.advance(std::chrono::seconds(1));
    audio.last()->ended = true;
    sync(atEnd);
    EXPECT_FALSE(audio.last()->playing);
    EXPECT_EQ(audio.last()->playRequests, plays + 1);

    // Repeat-one brings the hub back to the start: a seek, so play resumes.
    platform.loop.advance(std::chrono::seconds(1));
    JsonObject again = localPlayer();
    again["lastUpdatedAt"] = kNowMs + 3000;
    sync(again);
    EXPECT_TRUE(audio.last()->playing);
    EXPECT_EQ(audio.players.size(), 1u);
}

TEST(LocalAudioSource, CanonicalLocations) {
    const Url base = *Url::parseAbsolute(kBase);
    EXPECT_EQ(LocalAudioPlayer::canonicalAudioSrc("/media-services/library/stream/trk-01", base),
              "http://127.0.0.1:8080/media-services/library/stream/trk-01");
    EXPECT_EQ(LocalAudioPlayer::canonicalAudioSrc("stream/a.mp3", base),
              "http://127.0.0.1:8080/app/os/mac-control/stream/a.mp3");
    EXPECT_EQ(LocalAudioPlayer::canonicalAudioSrc("https://cdn.example/a.mp3", base),
              "https://cdn.example/a.mp3");
    // Characters a URL cannot hold are encoded before the location is read, as for artwork.
    EXPECT_EQ(LocalAudioPlayer::canonicalAudioSrc("bad path\n", base),
              "http://127.0.0.1:8080/app/os/mac-control/bad%20path%0A");
    // Not a URL at all: kept as it stands.
    EXPECT_EQ(LocalAudioPlayer::canonicalAudioSrc("1a:b", base), "1a:b");
}

}  // namespace
}  // namespace corvix

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "state/MusicPlayer.h"

namespace corvix {
namespace {

constexpr double kNow = 1'700'000'000'000.0;

JsonObject object(std::string_view text) {
    return parseJson(text).value().as_object();
}

TEST(MusicPlayerTest, TextsFallBackInOrder) {
    EXPECT_EQ(musicTitle(object(R"({"title":"Song","label":"Den"})")), "Song");
    EXPECT_EQ(musicTitle(object(R"({"title":"","label":"Den"})")), "Den");
    EXPECT_EQ(musicTitle(object("{}")), "Music");
    EXPECT_EQ(musicStatusText(object(R"({"playback":"PLAYING"})")), "Playing");
    EXPECT_EQ(musicStatusText(object(R"({"playback":"Paused"})")), "Paused");
    EXPECT_EQ(musicStatusText(object(R"({"playback":"buffering"})")), "Ready");
    EXPECT_EQ(musicSourceLine(object(R"({"subtitle":"Band","album":"LP","qualityLabel":"Hi"})")),
              "Band \u2022 LP \u2022 Hi");
    EXPECT_EQ(musicSourceLine(object(R"({"artist":"A","subtitle":"B","qualityLabel":"Q"})")),
              "A \u2022 Q");
    EXPECT_EQ(musicSourceLine(object(R"({"label":"Kitchen"})")), "Kitchen");
    EXPECT_EQ(musicSourceLine(object("{}")), "Orbelune Music");
}

TEST(MusicPlayerTest, PositionCountsOnWhilePlayingAndStaysWithinTheDuration) {
    const struct {
        const char* player;
        double position;
    } cases[] = {
        {R"({"playback":"playing","positionMs":30000,"durationMs":200000,"lastUpdatedAt":%})",
         35000},
        {R"({"playback":"PLAYING","positionMs":30000,"durationMs":200000,"lastUpdatedAt":%})",
         35000},
        {R"({"playback":"paused","positionMs":30000,"durationMs":200000,"lastUpdatedAt":%})",
         30000},
        // A report from the future adds nothing.
        {R"({"playback":"playing","positionMs":30000,"lastUpdatedAt":1700000009000})", 30000},
        {R"({"playback":"playing","positionMs":198000,"durationMs":200000,"lastUpdatedAt":%})",
         200000},
        {R"({"playback":"playing","positionMs":198000,"durationMs":0,"lastUpdatedAt":%})", 203000},
        {R"({"playback":"playing","positionMs":-5,"durationMs":"x","lastUpdatedAt":0})", 0},
    };
    for (const auto& c : cases) {
        std::string text = c.player;
        if (auto at = text.find('%'); at != std::string::npos) {
            text.replace(at, 1, "1699999995000");  // five seconds ago
        }
        EXPECT_DOUBLE_EQ(musicPosition(object(text), kNow), c.position) << text;
    }
    const JsonObject player =
        object(R"({"playback":"playing","positionMs":50000,"durationMs":200000,
                   "lastUpdatedAt":1699999950000})");
    EXPECT_DOUBLE_EQ(musicProgressFraction(player, kNow), 0.5);
    EXPECT_DOUBLE_EQ(musicProgressFraction(object(R"({"positionMs":10})"), kNow), 0);
}

TEST(MusicPlayerTest, CapabilityPrefersThePlainNameOverItsAlias) {
    const struct {
        const char* capabilities;
        const char* name;
        bool fallback;
        bool expected;
    } cases[] = {
        {R"({"canSeek":false})", "seek", true, false},
        {R"({"seek":true,"canSeek":false})", "seek", false, true},
        {R"({"seek":null,"canSeek":"yes"})", "seek", false, true},
        {R"({"canSetVolume":0})", "volume", true, false},
        {R"({"canShuffle":false})", "shuffle", true, true},
        {R"("not an object")", "seek", true, true},
    };
    for (const auto& c : cases) {
        const JsonObject player = object(std::string(R"({"capabilities":)") + c.capabilities + "}");
        EXPECT_EQ(musicCapability(player, c.name, c.fallback), c.expected)
            << c.capabilities << " " << c.name;
    }
}

TEST(MusicPlayerTest, RepeatModeMuteAndShuffle) {
    const std::pair<const char*, const char*> repeats[] = {
        {R"({"repeat":"Track"})", "one"},   {R"({"repeat":"context"})", "all"},
        {R"({"repeat":"shuffle"})", "off"}, {"{}", "off"},
        {R"({"repeat":true})", "all"},      {R"({"repeat":false})", "off"},
        {R"({"repeat":"ON"})", "all"},      {R"({"repeat":"single"})", "one"},
    };
    for (const auto& [player, mode] : repeats) {
        EXPECT_EQ(normalizedRepeatMode(object(player)), mode) << player;
    }
    EXPECT_TRUE(musicMuted(object(R"({"mute":true,"metadata":{"muted":false}})")));
    EXPECT_FALSE(musicMuted(object(R"({"muted":false,"mute":true})")));
    EXPECT_TRUE(musicMuted(object(R"({"muted":null,"metadata":{"muted":"yes"}})")));
    EXPECT_FALSE(musicMuted(object("{}")));
    EXPECT_TRUE(musicShuffle(object(R"({"shuffle":1})")));
    EXPECT_FALSE(musicShuffle(object("{}")));
}

TEST(MusicPlayerTest, FormatDurationRoundsAndNeverOverflows) {
    const std::pair<double, const char*> cases[] = {
        {75000, "1:15"},
        {-4000, "0:00"},
        {3599499, "59:59"},
        {3599500, "1:00:00"},
        {0, "0:00"},
        {1499, "0:01"},
        {std::numeric_limits<double>::quiet_NaN(), "0:00"},
        {std::numeric_limits<double>::infinity(), "0:00"},
        {-std::numeric_limits<double>::infinity(), "0:00"},
        {1e300, "277777777:46:40"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(formatDuration(ms), text) << ms;
    }
}

TEST(MusicPlayerTest, RouteSourceSkipsUnusablePlayersAndBreaksTiesByTheNewerReport) {
    const JsonObject music = object(R"({"players":[
        {"id":"off","available":"No","playback":"playing","contentId":"c"},
        {"id":"device","serviceKey":"LOCAL_DEVICE","playback":"playing","contentId":"c"},
        {"id":"nothing","playback":"playing"},
        {"id":"older","title":"T","contentId":"c","lastUpdatedAt":100},
        {"id":"null-available","available":null,"title":"T","streamUrl":"s","lastUpdatedAt":200},
        {"id":"same-time","title":"T","contentId":"c","lastUpdatedAt":200}
    ]})");
    const JsonObject active = object(R"({"id":"active"})");
    const ObjectList players = array(music, "players");
    const JsonObject* source = musicRouteSource(players, &active);
    ASSERT_TRUE(source);
    // Equal scores: the newer report wins, equal times keep the hub's order.
    EXPECT_EQ(string(*source, "id"), "null-available");

    const JsonObject library = object(R"({"players":[
        {"id":"speaker","title":"T","contentId":"c","lastUpdatedAt":999},
        {"id":"library","serviceKey":"LOCAL_LIBRARY","contentId":"c"},
        {"id":"browser","localBrowserPlayback":true,"serviceKey":"LOCAL_DEVICE",
         "streamUrl":"http://h/media-services/library/stream/1"}
    ]})");
    EXPECT_EQ(string(*musicRouteSource(array(library, "players"), &active), "id"), "browser");
    EXPECT_EQ(musicRouteSourceScore(object(R"({"serviceKey":"LOCAL_LIBRARY","title":"x"})")), 40);
    EXPECT_EQ(
        musicRouteSourceScore(object(R"({"serviceKey":"LOCAL_LIBRARY","playback":"playing"})")),
        100);
    EXPECT_EQ(musicRouteSource({}, &active), &active);
}

TEST(MusicPlayerTest, LocalMediaNeedsALibraryStreamForTracks) {
    EXPECT_TRUE(musicHoldsLocalMedia(object(R"({"metadata":{"filePath":"/music/a.flac"}})")));
    EXPECT_TRUE(musicHoldsLocalMedia(object(
        R"({"contentType":"track","metadata":{"uri":"http://h/media-services/library/stream/7"}})")));
    EXPECT_FALSE(musicHoldsLocalMedia(object(
        R"({"contentType":"album","streamUrl":"http://h/media-services/library/stream/7"})")));
    EXPECT_EQ(musicContentId(object(R"({"metadata":{"contentId":"m"},"streamUrl":"s"})")), "m");
}

TEST(MusicPlayerTest, OutputIconAndAccessibilityText) {
    EXPECT_EQ(musicOutputIconName(object(R"({"targetType":"group"})"), true),
              "checkmark.circle.fill");
    EXPECT_EQ(musicOutputIconName(object(R"({"metadata":{"providerFamily":"AirPlay"}})"), false),
              "airplayaudio");
    EXPECT_EQ(musicOutputIconName(object(R"({"targetType":"built_in_player"})"), false),
              "laptopcomputer");
    EXPECT_EQ(musicOutputIconName(object(R"({"targetType":"group"})"), false), "speaker.2");
    EXPECT_EQ(musicOutputIconName(object(R"({"targetType":"player"})"), false), "speaker.wave.2");

    EXPECT_EQ(musicOutputAccessibilityText(
                  object(R"({"label":"Kitchen","providerLabel":"KITCHEN ","subtitle":"Sonos",
                             "qualityLabel":" \n"})"),
                  true),
              "Active output, Kitchen, Sonos");
    EXPECT_EQ(musicOutputAccessibilityText(object(R"({"subtitle":"output"})"), false),
              "Output, Music Player");
}

TEST(MusicPlayerTest, ProjectionAppliesTheCommandAndKeepsThePositionReached) {
    const JsonObject player = object(R"({"id":"p","playback":"playing","positionMs":30000,
        "durationMs":200000,"lastUpdatedAt":1699999995000,"volume":20})");
    const JsonObject none;
    const JsonObject paused = projectedMusicPlayer(player, "pause", none, kNow);
    EXPECT_EQ(string(paused, "playback"), "paused");
    EXPECT_DOUBLE_EQ(musicPosition(paused, kNow + 60000), 35000);
    EXPECT_DOUBLE_EQ(*optionalDouble(paused, "lastUpdatedAt"), kNow);

    // A projection while playing goes on from where the track is, not from the last report.
    const JsonObject next = projectedMusicPlayer(player, "next", none, kNow);
    EXPECT_DOUBLE_EQ(musicPosition(next, kNow + 1000), 36000);

    // Also when the hub reported no position at all.
    const JsonObject unreported =
        object(R"({"playback":"playing","durationMs":200000,"lastUpdatedAt":1699999995000})");
    EXPECT_DOUBLE_EQ(musicPosition(projectedMusicPlayer(unreported, "mute", none, kNow), kNow),
                     5000);

    const struct {
        const char* payload;
        double position;
    } seeks[] = {{R"({"positionMs":120000})", 120000},
                 {R"({"positionMs":999999})", 200000},
                 {R"({"positionMs":-10})", 0},
                 {R"({})", 35000}};
    for (const auto& seek : seeks) {
        const JsonObject moved = projectedMusicPlayer(player, "seek", object(seek.payload), kNow);
        EXPECT_DOUBLE_EQ(musicPosition(moved, kNow), seek.position) << seek.payload;
    }

    const std::pair<const char*, std::int64_t> volumes[] = {{R"({"volume":130.4})", 100},
                                                            {R"({"volume":-3})", 0},
                                                            {R"({"volume":41.5})", 42},
                                                            {R"({"volume":"x"})", 20}};
    for (const auto& [payload, volume] : volumes) {
        const JsonObject projected =
            projectedMusicPlayer(player, "set_volume", object(payload), kNow);
        EXPECT_EQ(projected.at("volume"), json::value(volume)) << payload;
    }
    EXPECT_TRUE(musicMuted(projectedMusicPlayer(player, "mute", none, kNow)));
    EXPECT_FALSE(
        musicMuted(projectedMusicPlayer(object(R"({"muted":true})"), "unmute", none, kNow)));
    EXPECT_EQ(string(projectedMusicPlayer(object(R"({"playback":"paused"})"), "play", none, kNow),
                     "playback"),
              "playing");
}

TEST(MusicPlayerTest, ProjectionSetsShuffleAndRepeatOnlyToValuesTheyCanHave) {
    const JsonObject player = object(R"({"id":"p","shuffle":false,"repeat":"all"})");
    const struct {
        const char* action;
        const char* payload;
        bool shuffle;
        const char* repeat;
    } cases[] = {
        {"set_shuffle", R"({"shuffle":true})", true, "all"},
        {"set_shuffle", R"({"shuffle":"off"})", false, "all"},
        {"set_shuffle", R"({})", false, "all"},
        {"set_repeat", R"({"repeat":"one"})", false, "one"},
        {"set_repeat", R"({"repeat":"off"})", false, "off"},
        // Anything else leaves the mode the hub reported.
        {"set_repeat", R"({"repeat":"sometimes"})", false, "all"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        const JsonObject projected =
            projectedMusicPlayer(player, c.action, object(c.payload), kNow);
        EXPECT_EQ(musicShuffle(projected), c.shuffle);
        EXPECT_EQ(normalizedRepeatMode(projected), c.repeat);
    }
}

TEST(MusicPlayerTest, PlayersMatchByIdOrByANonEmptyTarget) {
    const struct {
        const char* player;
        const char* commanded;
        bool matches;
    } cases[] = {
        {R"({"id":"a"})", R"({"id":"a"})", true},
        {R"({"id":7})", R"({"id":"7"})", true},
        {R"({"id":null})", R"({"id":null})", false},
        {R"({"id":"x","targetType":"player","targetId":"t"})",
         R"({"id":"y","targetType":"player","targetId":"t"})", true},
        {R"({"targetType":"player","targetId":"t"})", R"({"targetType":"group","targetId":"t"})",
         false},
        {R"({"id":"x"})", R"({"id":"y"})", false},
        {R"({"targetType":"player"})", R"({"targetType":"player"})", false},
        {R"({"targetId":null})", R"({"targetId":null})", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(musicPlayerMatches(object(c.player), object(c.commanded)), c.matches)
            << c.player << " / " << c.commanded;
    }
}

TEST(MusicPlayerTest, ProjectIntoStateChangesOnlyMatchingPlayers) {
    const JsonObject state = object(R"({"rooms":[],"musicPlayer":{
        "activePlayer":{"id":"a","playback":"playing"},
        "players":[{"id":"a","playback":"playing"},{"id":null,"playback":"playing"},
                   {"id":"b","playback":"playing"}]}})");
    const JsonObject projected =
        projectMusicCommand(state, "pause", object(R"({"id":"a"})"), {}, kNow);
    const JsonObject& music = projected.at("musicPlayer").as_object();
    EXPECT_EQ(string(music.at("activePlayer").as_object(), "playback"), "paused");
    const ObjectList players = array(music, "players");
    ASSERT_EQ(players.size(), 3u);
    EXPECT_EQ(string(*players[0], "playback"), "paused");
    EXPECT_EQ(string(*players[1], "playback"), "playing");
    EXPECT_EQ(string(*players[2], "playback"), "playing");
    EXPECT_TRUE(projected.contains("rooms"));

    // A player whose id is null matches no other null-id player.
    const JsonObject nullCommanded =
        projectMusicCommand(state, "pause", object(R"({"id":null})"), {}, kNow);
    EXPECT_EQ(string(*array(nullCommanded.at("musicPlayer").as_object(), "players")[1], "playback"),
              "playing");
    const JsonObject noMusic = object(R"({"rooms":[]})");
    EXPECT_EQ(projectMusicCommand(noMusic, "pause", object(R"({"id":"a"})"), {}, kNow), noMusic);
}

TEST(MusicPlayerTest, TheChosenOutputOverridesTheHubsActivePlayerWhileListed) {
    const JsonObject music = object(R"({"activePlayer":{"id":"hub"},
        "players":[{"id":null,"label":"Null"},{"id":"mine","label":"Mine"}]})");
    auto activeLabel = [](const JsonObject& block) {
        return string(block.at("activePlayer").as_object(), "label", "hub");
    };
    EXPECT_EQ(activeLabel(effectiveMusicPlayerBlock(music, "mine")), "Mine");
    EXPECT_EQ(activeLabel(effectiveMusicPlayerBlock(music, "gone")), "hub");
    EXPECT_EQ(activeLabel(effectiveMusicPlayerBlock(music, std::nullopt)), "hub");
    EXPECT_EQ(activeLabel(effectiveMusicPlayerBlock(music, "<null>")), "hub");
    EXPECT_EQ(activeLabel(effectiveMusicPlayerBlock(music, "")), "hub");
}

}  // namespace
}  // namespace corvix

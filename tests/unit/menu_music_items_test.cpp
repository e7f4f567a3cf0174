#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/MusicArtworkView.h"
#include "menu/StayOpenSlider.h"
#include "notch/NotchPlayerController.h"
#include "platform/testing/RecordingGraphicsContext.h"
#include "platform/ui/Button.h"

namespace corvix {
namespace {

using testing::findSubview;
using testing::itemTitled;
using testing::labelTexts;
using testing::MenuHarness;
using testing::outline;
using Lines = std::vector<std::string>;
using Transfer = std::shared_ptr<FakeHttpClient::Transfer>;

constexpr const char* kFixture = "music-player-with-outputs.json";
constexpr const char* kEntry = "Northern Lights";

std::vector<Button*> buttonsOf(const View& view) {
    std::vector<Button*> buttons;
    for (const auto& subview : view.subviews()) {
        if (auto* button = dynamic_cast<Button*>(subview.get())) {
            buttons.push_back(button);
        }
    }
    return buttons;
}

std::string symbolOf(const Button& button) {
    return button.image() && button.image()->symbol() ? button.image()->symbol()->name : "";
}

JsonObject bodyOf(const Transfer& transfer) {
    auto parsed = parseJson(transfer->request.body.value_or("{}"));
    return parsed.ok() && parsed.value().is_object() ? parsed.value().get_object() : JsonObject{};
}

/// A member of a request's body: a text as it is, anything else as JSON.
std::string sentValue(const JsonObject& body, std::string_view key) {
    const json::value* value = body.if_contains(key);
    if (!value) {
        return "<absent>";
    }
    return value->is_string() ? std::string(value->get_string()) : json::serialize(*value);
}

std::string playlistsAnswer(int count) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += (i ? "," : "") + std::string(R"({"id":"pl-)") + std::to_string(i) +
                R"(","title":"Mix )" + std::to_string(i) + R"("})";
    }
    return R"({"data":{"playlists":[)" + list + "]}}";
}

class MenuMusicItemsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fixture = testing::loadStateFixture(kFixture);
        menu.builder->build(*menu.root, fixture);
    }

    /// The fixture with `edit` applied to its music block.
    std::shared_ptr<const JsonObject> edited(const std::function<void(JsonObject& music)>& edit) {
        JsonObject state = *fixture;
        edit(state["musicPlayer"].as_object());
        return std::make_shared<const JsonObject>(std::move(state));
    }
    std::shared_ptr<const JsonObject> withActive(
        const std::function<void(JsonObject& active)>& edit) {
        return edited([&](JsonObject& music) { edit(music["activePlayer"].as_object()); });
    }
    void build(std::shared_ptr<const JsonObject> state) {
        menu.builder->build(*menu.root, std::move(state));
    }
    StayOpenMenu& music() {
        // The entry row comes first; its title follows the track.
        const auto& items = menu.root->itemArray();
        StayOpenMenu* submenu =
            items.empty() ? nullptr : dynamic_cast<StayOpenMenu*>(items.front()->submenu().get());
        EXPECT_NE(submenu, nullptr);
        return submenu ? *submenu : *menu.root;
    }
    StayOpenMenu& nested(std::string_view title) {
        MenuItem* row = itemTitled(music(), title);
        EXPECT_TRUE(row && row->submenu()) << title;
        return row && row->submenu() ? dynamic_cast<StayOpenMenu&>(*row->submenu()) : *menu.root;
    }
    View& rowView(const Menu& parent, std::string_view title) {
        MenuItem* row = itemTitled(parent, title);
        EXPECT_TRUE(row && row->view()) << title;
        return row && row->view() ? *row->view() : *menu.root->itemArray().front()->view();
    }
    Button& button(std::string_view row, std::size_t index) {
        return *buttonsOf(rowView(music(), row)).at(index);
    }
    /// The transfers to a path ending in `suffix`, in order.
    std::vector<Transfer> requestsTo(std::string_view suffix) const {
        std::vector<Transfer> found;
        for (const auto& t : menu.platform.http.transfers()) {
            if (t->request.url.ends_with(suffix)) {
                found.push_back(t);
            }
        }
        return found;
    }
    void answer(const Transfer& transfer, Result<HttpResponse> result) {
        menu.platform.http.respond(transfer, std::move(result));
        menu.platform.loop.runUntilIdle();
    }
    void answer(const Transfer& transfer, int status, std::string body) {
        answer(transfer, HttpResponse{status, {}, std::move(body)});
    }
    /// Who the output rows mark "Live".
    Lines liveOutputs() {
        Lines live;
        for (const auto& item : nested("Outputs").itemArray()) {
            const Lines texts = labelTexts(*item->view());
            if (std::find(texts.begin(), texts.end(), "Live") != texts.end()) {
                live.push_back(item->title());
            }
        }
        return live;
    }
    void clickOutput(std::string_view label) {
        // Held like a pressed view, which outlives the rebuild its click makes.
        auto row =
            std::dynamic_pointer_cast<ActionView>(itemTitled(nested("Outputs"), label)->view());
        ASSERT_NE(row, nullptr);
        row->onAction();
        menu.platform.loop.runUntilIdle();
    }

    MenuHarness menu;
    std::shared_ptr<const JsonObject> fixture;
};

TEST_F(MenuMusicItemsTest, TheSubmenuListsItsRowsInOrder) {
    EXPECT_EQ(outline(*menu.root)[0], "Northern Lights >");
    EXPECT_EQ(outline(*menu.root)[1], "---");
    EXPECT_EQ(labelTexts(*itemTitled(*menu.root, kEntry)->view()),
              (Lines{"Northern Lights", "Ada Vance  Library"}));
    EXPECT_EQ(outline(music()),
              (Lines{"Northern Lights", "---", "Music transport", "Music timeline",
                     "Music playback options", "Listen Later", "Playlists >", "Music volume",
                     "7 items in external queue (disabled)", "---", "Outputs >"}));
    EXPECT_EQ(labelTexts(rowView(music(), kEntry)), (Lines{"Playing", "Library", "Northern Lights",
                                                           "Ada Vance • Polar • FLAC 44.1 kHz"}));
    EXPECT_EQ(labelTexts(rowView(music(), "Music timeline")), (Lines{"1:00", "4:00"}));
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "35"}));
    EXPECT_EQ(labelTexts(rowView(music(), "Listen Later")),
              (Lines{"Listen Later", "6 saved tracks", "Shuffle"}));
    EXPECT_EQ(labelTexts(*itemTitled(music(), "Outputs")->view()), (Lines{"Outputs", "Library"}));
    EXPECT_EQ(liveOutputs(), (Lines{"Library"}));

    // Without an active player object nothing is added, yet the separator follows.
    build(edited([](JsonObject& m) { m.erase("activePlayer"); }));
    EXPECT_EQ(outline(*menu.root)[0], "---");
}

TEST_F(MenuMusicItemsTest, WithoutArtworkTheCardShowsAWhiteNoteOnItsDarkTile) {
    ASSERT_EQ(Color::currentScheme(), ColorScheme::Light);  // where the label colour is dark
    auto* artwork = findSubview<MusicArtworkView>(rowView(music(), kEntry));
    ASSERT_NE(artwork, nullptr);
    ASSERT_EQ(artwork->image(), nullptr);
    ASSERT_NE(artwork->fallback(), nullptr);
    RecordingGraphicsContext context;
    artwork->draw(context, artwork->bounds());
    const auto images = context.ofKind(DrawCall::Kind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].image, artwork->fallback().get());
    // A template symbol takes the colour it is drawn in.
    ASSERT_TRUE(images[0].image->isTemplate());
    ASSERT_TRUE(images[0].tint.has_value());
    EXPECT_EQ(*images[0].tint, Color::white());
}

TEST_F(MenuMusicItemsTest, OptionalRowsFollowTheirValues) {
    const struct {
        const char* name;
        std::function<void(JsonObject&)> edit;
        Lines rows;
    } cases[] = {
        {"no duration, no volume, no queue, one player",
         [](JsonObject& m) {
             auto& a = m["activePlayer"].as_object();
             a.erase("durationMs");
             a.erase("volume");
             a.erase("queue");
             a["capabilities"] = json::object{{"seek", true}};
             m["players"] = json::array{m["players"].as_array()[0]};
             m.erase("listenLater");
         },
         {kEntry, "---", "Music transport", "Music playback options", "Listen Later (disabled)",
          "Playlists >"}},
        {"a volume without capabilities, a queue of one",
         [](JsonObject& m) {
             auto& a = m["activePlayer"].as_object();
             a.erase("capabilities");
             a["queue"] = json::object{{"total", 1}};
         },
         {kEntry, "---", "Music transport", "Music timeline", "Music playback options",
          "Listen Later", "Playlists >", "Music volume", "1 item in queue (disabled)", "---",
          "Outputs >"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        build(edited(c.edit));
        EXPECT_EQ(outline(music()), c.rows);
    }

    // The queue count: "total", else "count", else "size", else the items; none at 0.
    const struct {
        const char* queue;
        const char* line;
    } queues[] = {
        {R"({"total":1})", "1 item in queue"},
        {R"({"items":[{},{}],"owned":false})", "2 items in external queue"},
        {R"({"count":3,"size":9,"items":[{}]})", "3 items in queue"},
        {R"({"total":"many","size":4.9})", "4 items in queue"},
        {R"({"count":0,"items":[{}]})", nullptr},
        {R"({"owned":true})", nullptr},
    };
    for (const auto& q : queues) {
        SCOPED_TRACE(q.queue);
        build(withActive([&](JsonObject& a) { a["queue"] = parseJson(q.queue).value(); }));
        const Lines rows = outline(music());
        const bool found =
            std::find(rows.begin(), rows.end(),
                      std::string(q.line ? q.line : "") + " (disabled)") != rows.end();
        EXPECT_EQ(found, q.line != nullptr);
        EXPECT_EQ(rows.size(), q.line ? 11u : 10u);
    }

    const struct {
        const char* listenLater;
        const char* subtitle;
        bool enabled;
    } saved[] = {{R"({"trackCount":1})", "1 saved track", true},
                 {R"({"trackCount":12.9})", "12 saved tracks", true},
                 {R"({"trackCount":0.5})", "No saved tracks", false},
                 {"null", "No saved tracks", false}};
    for (const auto& s : saved) {
        SCOPED_TRACE(s.listenLater);
        build(edited([&](JsonObject& m) { m["listenLater"] = parseJson(s.listenLater).value(); }));
        MenuItem* row = itemTitled(music(), "Listen Later");
        EXPECT_EQ(labelTexts(*row->view())[1], s.subtitle);
        EXPECT_EQ(row->isEnabled(), s.enabled);
    }
}

TEST_F(MenuMusicItemsTest, TransportActsOnTheShownPlayerAndFlipsAtOnce) {
    EXPECT_EQ(symbolOf(button("Music transport", 1)), "pause.fill");
    button("Music transport", 1).performClick();
    EXPECT_EQ(symbolOf(button("Music transport", 1)), "play.fill");
    button("Music transport", 1).performClick();
    EXPECT_EQ(symbolOf(button("Music transport", 1)), "pause.fill");

    const auto commands = requestsTo("/music/command");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(sentValue(bodyOf(commands[0]), "action"), "pause");
    EXPECT_EQ(sentValue(bodyOf(commands[1]), "action"), "resume");
    EXPECT_EQ(sentValue(bodyOf(commands[1]), "targetId"), "library-1");

    // Without a target the transport cannot send; options depend on capabilities only.
    build(withActive([](JsonObject& a) {
        a["targetId"] = "";
        a["capabilities"] = json::object{{"mute", false}};
    }));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(button("Music transport", i).isEnabled());
    }
    EXPECT_TRUE(button("Music playback options", 0).isEnabled());
    EXPECT_TRUE(button("Music playback options", 1).isEnabled());
    EXPECT_FALSE(button("Music playback options", 2).isEnabled());
}

TEST_F(MenuMusicItemsTest, APlaybackWordInCapitalsStillCountsAsPlaying) {
    build(withActive([](JsonObject& a) { a["playback"] = "Playing"; }));
    EXPECT_EQ(symbolOf(button("Music transport", 1)), "pause.fill");
    button("Music transport", 1).performClick();
    ASSERT_EQ(requestsTo("/music/command").size(), 1u);
    EXPECT_EQ(sentValue(bodyOf(requestsTo("/music/command")[0]), "action"), "pause");
}

TEST_F(MenuMusicItemsTest, SlidersSendWholeNumbersOnRelease) {
    auto& volume = *findSubview<StayOpenSlider>(rowView(music(), "Music volume"));
    EXPECT_FALSE(volume.isContinuous());
    volume.setDoubleValue(41.6);
    volume.sendAction();
    auto sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 1u);
    const JsonObject body = bodyOf(sent[0]);
    EXPECT_EQ(sentValue(body, "action"), "set_volume");
    EXPECT_EQ(sentValue(body, "volume"), "42");
    EXPECT_EQ(sentValue(body.at("payload").as_object(), "volume"), "42");
    // The projection shows the new volume at once.
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "42"}));

    auto& timeline = *findSubview<StayOpenSlider>(rowView(music(), "Music timeline"));
    timeline.setDoubleValue(90000.4);
    timeline.sendAction();
    sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sentValue(bodyOf(sent[1]), "positionMs"), "90000");
    EXPECT_EQ(labelTexts(rowView(music(), "Music timeline")), (Lines{"1:30", "4:00"}));

    // While a volume send is on its way the next waits, and only the newest goes out.
    for (double v : {50.0, 60.0}) {
        auto& s = *findSubview<StayOpenSlider>(rowView(music(), "Music volume"));
        s.setDoubleValue(v);
        s.sendAction();
    }
    EXPECT_EQ(requestsTo("/music/command").size(), 2u);
    answer(sent[0], 200, R"({"status":true})");
    sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sentValue(bodyOf(sent[2]), "volume"), "60");
}

TEST_F(MenuMusicItemsTest, ScreenReadersHearNamedControlsAndSetValuesAsAUserWould) {
    // Names a screen reader reads, before any update gave the buttons tool tips.
    auto name = [](const View& v) {
        return v.accessibilityLabel().empty() ? v.toolTip() : v.accessibilityLabel();
    };
    EXPECT_EQ(name(button("Music transport", 0)), "Previous");
    EXPECT_EQ(name(button("Music transport", 1)), "Pause");
    EXPECT_EQ(name(button("Music transport", 2)), "Next");
    button("Music transport", 1).performClick();
    EXPECT_EQ(name(button("Music transport", 1)), "Play");

    auto timeline = [&]() -> StayOpenSlider& {
        return *findSubview<StayOpenSlider>(rowView(music(), "Music timeline"));
    };
    auto volume = [&]() -> StayOpenSlider& {
        return *findSubview<StayOpenSlider>(rowView(music(), "Music volume"));
    };
    EXPECT_EQ(timeline().accessibilityLabel(), "Position");
    EXPECT_EQ(volume().accessibilityLabel(), "Volume");

    std::vector<View*> posted;
    Subscription watch = View::observeAccessibilityNotifications(
        [&](View& view, AccessibilityNotification) { posted.push_back(&view); });
    View* seeking = &timeline();
    EXPECT_TRUE(timeline().accessibilityPerformSetValue(102400.4));
    auto sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sentValue(bodyOf(sent[1]), "action"), "seek");
    EXPECT_EQ(sentValue(bodyOf(sent[1]), "positionMs"), "102400");
    EXPECT_EQ(posted, std::vector<View*>{seeking});
    // The position is said as time, not as milliseconds.
    EXPECT_EQ(timeline().accessibilityValueDescription(), "1:42 of 4:00");

    EXPECT_TRUE(volume().accessibilityPerformSetValue(41.6));
    sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sentValue(bodyOf(sent[2]), "volume"), "42");
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "42"}));
    EXPECT_TRUE(volume().accessibilityValueDescription().empty()) << "a volume says its number";

    // A timeline that cannot seek takes no value from a screen reader either.
    build(withActive([](JsonObject& a) { a["capabilities"] = json::object{{"seek", false}}; }));
    EXPECT_FALSE(timeline().accessibilityPerformSetValue(1000));
    EXPECT_FALSE(timeline().accessibilityPerformIncrement());
    EXPECT_EQ(requestsTo("/music/command").size(), 3u);
}

TEST_F(MenuMusicItemsTest, UpdatePlaybackChangesTheLiveViewsInPlace) {
    const std::vector<std::shared_ptr<MenuItem>> before = music().itemArray();
    const auto handlers = static_cast<std::int64_t>(menu.builder->playbackUpdateHandlers.size());
    const std::int64_t counted =
        RuntimeDiagnostics::menuBar().counters()["playback_views_updated_in_place"];

    EXPECT_TRUE(menu.builder->updatePlayback(withActive([](JsonObject& a) {
        a["title"] = "Southern Cross";
        a["subtitle"] = "Ben Ora";
        a["volume"] = 80;
        a["playback"] = "paused";
        a["shuffle"] = true;
        a["repeat"] = "one";
    })));
    EXPECT_EQ(music().itemArray(), before);
    EXPECT_EQ(RuntimeDiagnostics::menuBar().counters()["playback_views_updated_in_place"],
              counted + handlers);
    EXPECT_EQ(labelTexts(*music().itemArray()[0]->view())[2], "Southern Cross");
    EXPECT_EQ(labelTexts(*itemTitled(*menu.root, "Southern Cross")->view()),
              (Lines{"Southern Cross", "Ben Ora  Library"}));
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "80"}));
    EXPECT_EQ(symbolOf(button("Music transport", 1)), "play.fill");
    EXPECT_EQ(button("Music transport", 1).toolTip(), "Play");
    // The options follow too, so their next click sends the opposite of the hub's value.
    EXPECT_EQ(symbolOf(button("Music playback options", 0)), "shuffle.circle.fill");
    EXPECT_EQ(button("Music playback options", 1).toolTip(), "Repeat: One");
    button("Music playback options", 0).performClick();
    EXPECT_EQ(sentValue(bodyOf(requestsTo("/music/command").back()), "shuffle"), "false");

    EXPECT_FALSE(
        menu.builder->updatePlayback(edited([](JsonObject& m) { m["available"] = false; })));
    EXPECT_FALSE(
        menu.builder->updatePlayback(edited([](JsonObject& m) { m.erase("activePlayer"); })));
}

TEST_F(MenuMusicItemsTest, OptionsAreProjectedAndCycle) {
    // Shuffle and repeat change at once and the next click continues from the new value.
    const struct {
        std::size_t button;
        const char* key;
        std::vector<std::string> sent;
        std::vector<std::string> symbols;
    } cases[] = {
        {0, "shuffle", {"true", "false"}, {"shuffle.circle.fill", "shuffle"}},
        {1, "repeat", {"\"all\"", "\"one\"", "\"off\""}, {"repeat", "repeat.1", "repeat"}},
        {2, "action", {"\"mute\"", "\"unmute\""}, {"speaker.slash.fill", "speaker.wave.2.fill"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        build(fixture);
        for (std::size_t i = 0; i < c.sent.size(); ++i) {
            button("Music playback options", c.button).performClick();
            EXPECT_EQ(json::serialize(bodyOf(requestsTo("/music/command").back()).at(c.key)),
                      c.sent[i]);
            EXPECT_EQ(symbolOf(button("Music playback options", c.button)), c.symbols[i]);
        }
    }
}

TEST_F(MenuMusicItemsTest, FailedCommandsAlertButCancelledOnesStaySilent) {
    const struct {
        const char* name;
        Result<HttpResponse> answer;
        int refreshes;
        std::size_t alerts;
    } cases[] = {
        {"success", HttpResponse{200, {}, R"({"status":true})"}, 1, 0},
        {"refused", HttpResponse{200, {}, R"({"status":false,"message":"Nothing is queued"})"}, 1,
         1},
        {"cancelled", cancellationError(), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        menu.refreshes = 0;
        menu.alerts.shown.clear();
        button("Music transport", 2).performClick();
        answer(requestsTo("/music/command").back(), c.answer);
        EXPECT_EQ(menu.refreshes, c.refreshes);
        EXPECT_EQ(menu.alerts.shown.size(), c.alerts);
    }
    // The listen-later shuffle goes to the shown player.
    auto* listenLater =
        dynamic_cast<ActionView*>(itemTitled(music(), "Listen Later")->view().get());
    listenLater->onAction();
    ASSERT_EQ(requestsTo("/music/listen-later/shuffle").size(), 1u);
    EXPECT_EQ(sentValue(bodyOf(requestsTo("/music/listen-later/shuffle")[0]), "targetPlayerId"),
              "player-library");
}

TEST_F(MenuMusicItemsTest, PlaylistsShowWhenTheFetchEnds) {
    auto fetches = requestsTo("/music/playlists");
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_EQ(labelTexts(*itemTitled(music(), "Playlists")->view())[1], "Loading");
    EXPECT_EQ(outline(nested("Playlists")), (Lines{"Loading playlists... (disabled)"}));

    // The user has the Outputs submenu open while the list arrives.
    const Menu* outputs = &nested("Outputs");
    const MenuItem* playlistsEntry = itemTitled(music(), "Playlists");
    const MenuItem* musicEntry = menu.root->itemArray().front().get();
    answer(fetches[0], 200, playlistsAnswer(30));
    // No new document arrives, yet the row no longer says "Loading".
    EXPECT_EQ(labelTexts(*itemTitled(music(), "Playlists")->view())[1], "30 playlists");
    // Only the entry changed: the menu was not rebuilt around the open submenu.
    EXPECT_EQ(itemTitled(music(), "Playlists"), playlistsEntry);
    EXPECT_EQ(&nested("Outputs"), outputs);
    EXPECT_EQ(menu.root->itemArray().front().get(), musicEntry);
    const Lines rows = outline(nested("Playlists"));
    ASSERT_EQ(rows.size(), 24u);
    EXPECT_EQ(rows[0], "Mix 0");
    EXPECT_EQ(rows[23], "Mix 23");
    // The cache is used by later builds.
    build(fixture);
    EXPECT_EQ(requestsTo("/music/playlists").size(), 1u);

    auto* first = dynamic_cast<ActionView*>(nested("Playlists").itemArray()[0]->view().get());
    EXPECT_EQ(first->accessibilityLabel(), "Play playlist Mix 0");
    first->onAction();
    ASSERT_EQ(requestsTo("/music/playlists/play").size(), 1u);
    const JsonObject body = bodyOf(requestsTo("/music/playlists/play")[0]);
    EXPECT_NE(json::serialize(body).find("pl-0"), std::string::npos);
}

TEST_F(MenuMusicItemsTest, AFailingPlaylistFetchWaitsForRetry) {
    answer(requestsTo("/music/playlists")[0], 500, "boom");
    EXPECT_EQ(labelTexts(*itemTitled(music(), "Playlists")->view())[1], "Unable to load");
    EXPECT_EQ(outline(nested("Playlists")), (Lines{"Unable to load (disabled)", "Retry"}));
    // Rebuilds do not ask a failing hub again.
    build(fixture);
    build(fixture);
    EXPECT_EQ(requestsTo("/music/playlists").size(), 1u);

    auto retry =
        std::dynamic_pointer_cast<ActionView>(itemTitled(nested("Playlists"), "Retry")->view());
    retry->onAction();
    ASSERT_EQ(requestsTo("/music/playlists").size(), 2u);
    EXPECT_EQ(labelTexts(*itemTitled(music(), "Playlists")->view())[1], "Loading");
    // The clicked row is replaced once the click is over.
    menu.platform.loop.runUntilIdle();
    EXPECT_EQ(outline(nested("Playlists")), (Lines{"Loading playlists... (disabled)"}));
    answer(requestsTo("/music/playlists")[1], 200,
           R"({"data":{"playlists":[{"name":"Road","metadata":{"trackCount":1}}]}})");
    EXPECT_EQ(labelTexts(*itemTitled(music(), "Playlists")->view())[1], "1 playlist");
    EXPECT_EQ(labelTexts(*nested("Playlists").itemArray()[0]->view()), (Lines{"Road", "1 track"}));
}

TEST_F(MenuMusicItemsTest, ChoosingAnOutputShowsItLiveUntilTheHubRefuses) {
    clickOutput("Kitchen Speaker");
    EXPECT_EQ(liveOutputs(), (Lines{"Kitchen Speaker"}));
    auto transfers = requestsTo("/music/transfer");
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(sentValue(bodyOf(transfers[0]), "targetPlayerId"), "player-kitchen");
    EXPECT_EQ(sentValue(bodyOf(transfers[0]), "sourcePlayerId"), "player-library");

    // The in-place updates show and command the chosen output, not the hub's.
    EXPECT_TRUE(menu.builder->updatePlayback(fixture));
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "60"}));
    auto& volume = *findSubview<StayOpenSlider>(rowView(music(), "Music volume"));
    volume.setDoubleValue(64);
    volume.sendAction();
    EXPECT_EQ(sentValue(bodyOf(requestsTo("/music/command").back()), "targetId"), "kitchen-1");

    answer(transfers[0], 200, R"({"status":false,"message":"Kitchen Speaker is unavailable"})");
    EXPECT_EQ(liveOutputs(), (Lines{"Library"}));
    EXPECT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_FALSE(menu.builder->localActiveMusicPlayerId.has_value());
}

TEST_F(MenuMusicItemsTest, OnlyTheNewestTransferDecidesTheChosenOutput) {
    clickOutput("Kitchen Speaker");
    clickOutput("Den");
    auto transfers = requestsTo("/music/transfer");
    ASSERT_EQ(transfers.size(), 2u);
    answer(transfers[1], 200, R"({"status":true})");
    answer(transfers[0], 200, R"({"status":true})");
    EXPECT_EQ(menu.builder->localActiveMusicPlayerId, "player-den");
    build(fixture);
    EXPECT_EQ(liveOutputs(), (Lines{"Den"}));
    // A late failure of the older choice does not undo the newer one either.
    clickOutput("Kitchen Speaker");
    clickOutput("Library");
    transfers = requestsTo("/music/transfer");
    answer(transfers[3], 200, R"({"status":true})");
    answer(transfers[2], 200, R"({"status":false,"message":"gone"})");
    EXPECT_EQ(menu.builder->localActiveMusicPlayerId, "player-library");

    // Once the hub names the chosen output itself, the choice is dropped.
    build(fixture);
    EXPECT_FALSE(menu.builder->localActiveMusicPlayerId.has_value());
}

TEST_F(MenuMusicItemsTest, ACancelledTransferPutsTheHubsOutputBackSilently) {
    clickOutput("Den");
    EXPECT_EQ(liveOutputs(), (Lines{"Den"}));
    menu.refreshes = 0;
    answer(requestsTo("/music/transfer")[0], cancellationError());
    EXPECT_EQ(liveOutputs(), (Lines{"Library"}));
    EXPECT_TRUE(menu.alerts.shown.empty());
    EXPECT_EQ(menu.refreshes, 0);
}

TEST_F(MenuMusicItemsTest, AHeldOrSendingSliderKeepsTheUsersValue) {
    auto& volume = *findSubview<StayOpenSlider>(rowView(music(), "Music volume"));
    volume.setDoubleValue(70);
    volume.sendAction();
    // The hub's older value arrives while the send is on its way.
    EXPECT_TRUE(menu.builder->updatePlayback(fixture));
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "70"}));
    answer(requestsTo("/music/command")[0], 200, R"({"status":true})");
    EXPECT_TRUE(menu.builder->updatePlayback(fixture));
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "35"}));
}

TEST_F(MenuMusicItemsTest, AnIdLessOutputStoresNoChoice) {
    build(edited([](JsonObject& m) { m["players"].as_array()[2].as_object().erase("id"); }));
    clickOutput("Den");
    EXPECT_EQ(liveOutputs(), (Lines{"Library"}));
    ASSERT_EQ(requestsTo("/music/transfer").size(), 1u);
    answer(requestsTo("/music/transfer")[0], 200, R"({"status":true})");
    EXPECT_FALSE(menu.builder->localActiveMusicPlayerId.has_value());
}

TEST_F(MenuMusicItemsTest, ASliderValueGoesToTheOutputItWasSetOnInItsOwnOrder) {
    // The kitchen can seek too.
    const auto hubs = edited(
        [](JsonObject& m) { m["players"].as_array()[1].as_object()["durationMs"] = 180000; });
    build(hubs);
    auto slide = [this](std::string_view row, double value) {
        auto& slider = *findSubview<StayOpenSlider>(rowView(music(), row));
        slider.setDoubleValue(value);
        slider.sendAction();
    };
    slide("Music volume", 50);
    slide("Music timeline", 30000);
    clickOutput("Kitchen Speaker");
    EXPECT_TRUE(menu.builder->updatePlayback(hubs));
    // The same values to the kitchen while the library's are on their way: they go at once, to
    // the kitchen.
    slide("Music volume", 50);
    slide("Music timeline", 30000);
    auto sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 4u);
    const Lines targets{
        sentValue(bodyOf(sent[0]), "targetId"), sentValue(bodyOf(sent[1]), "targetId"),
        sentValue(bodyOf(sent[2]), "targetId"), sentValue(bodyOf(sent[3]), "targetId")};
    EXPECT_EQ(targets, (Lines{"library-1", "library-1", "kitchen-1", "kitchen-1"}));
    EXPECT_EQ(sentValue(bodyOf(sent[2]), "volume"), "50");
    EXPECT_EQ(sentValue(bodyOf(sent[3]), "positionMs"), "30000");

    // A newer kitchen volume waits for the kitchen's answer, not the library's.
    slide("Music volume", 70);
    answer(sent[0], 200, R"({"status":true})");
    EXPECT_EQ(requestsTo("/music/command").size(), 4u);
    answer(sent[2], 200, R"({"status":true})");
    sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sentValue(bodyOf(sent[4]), "targetId"), "kitchen-1");
    EXPECT_EQ(sentValue(bodyOf(sent[4]), "volume"), "70");
}

TEST_F(MenuMusicItemsTest, TheMenuAndTheNotchSendOnePlayersVolumeInTurn) {
    Screen screen;
    screen.frame = screen.visibleFrame = {0, 0, 1440, 900};
    menu.screens.setScreens({screen});
    NotchPlayerController notch(*menu.client, menu.sends);
    notch.update(*fixture);
    EventDriver(notch.window()).press({50, 16});
    ASSERT_NE(notch.expandedView(), nullptr);
    // The menu rebuilds on each value it projects: the slider is found again each time.
    auto setVolume = [this](double value) {
        auto& volume = *findSubview<StayOpenSlider>(rowView(music(), "Music volume"));
        volume.setDoubleValue(value);
        volume.sendAction();
    };
    setVolume(50);
    notch.expandedView()->onVolume(0.8);
    notch.expandedView()->onVolume(0.9);
    auto sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 1u) << "the notch waits for the menu's volume";
    // The menu's volume row keeps the notch's value too while it waits.
    EXPECT_TRUE(menu.builder->updatePlayback(fixture));
    EXPECT_EQ(labelTexts(rowView(music(), "Music volume")), (Lines{"Volume", "50"}));

    answer(sent[0], 200, R"({"status":true})");
    sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sentValue(bodyOf(sent[1]), "action"), "setVolume");
    EXPECT_DOUBLE_EQ(bodyOf(sent[1]).at("volume").to_number<double>(), 90);
    EXPECT_EQ(menu.refreshes, 0) << "the menu's superseded answer asks for nothing";

    // And the other way round.
    setVolume(20);
    EXPECT_EQ(requestsTo("/music/command").size(), 2u);
    answer(sent[1], 200, R"({"status":true})");
    sent = requestsTo("/music/command");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sentValue(bodyOf(sent[2]), "action"), "set_volume");
    EXPECT_EQ(sentValue(bodyOf(sent[2]), "volume"), "20");
}

}  // namespace
}  // namespace corvix

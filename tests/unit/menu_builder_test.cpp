#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "controls/ActionView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "platform/ui/ImageView.h"

namespace corvix {
namespace {

using testing::findSubview;
using testing::itemTitled;
using testing::labelTexts;
using testing::loadStateFixture;
using testing::MenuHarness;
using testing::outline;
using testing::stateFromText;
using Lines = std::vector<std::string>;

const Lines kReachableFooter = {"Open Orbelune OS", "Settings...", "Refresh", "Quit"};
const Lines kUnreachableFooter = {"Open Orbelune OS", "Settings...", "Retry", "Quit"};

Lines concat(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

/// The symbol name an icon view shows.
std::string symbolName(const View& view) {
    auto* icon = findSubview<ImageView>(view);
    if (!icon || !icon->image() || !icon->image()->symbol()) {
        return {};
    }
    return icon->image()->symbol()->name;
}

TextField* labelAt(const View& view, std::size_t index) {
    std::size_t seen = 0;
    for (const auto& subview : view.subviews()) {
        if (auto* field = dynamic_cast<TextField*>(subview.get())) {
            if (seen++ == index) {
                return field;
            }
        }
    }
    return nullptr;
}

TEST(MenuBuilderTest, EmptyStateShowsTheNoControlsLineAndTheReachableFooter) {
    MenuHarness menu;
    menu.build("empty-state.json");
    EXPECT_EQ(menu.lines(),
              concat({"No Mac quick controls configured (disabled)", "---"}, kReachableFooter));
    const auto& diagnostics = RuntimeDiagnostics::menuBar();
    ASSERT_FALSE(diagnostics.recentEvents().empty());
    EXPECT_EQ(diagnostics.recentEvents().back().name, "menu_full_rebuild");
    EXPECT_TRUE(diagnostics.gauges().contains("music_artwork_cache_entries"));
    EXPECT_TRUE(diagnostics.gauges().contains("media_app_icon_cache_entries"));
}

TEST(MenuBuilderTest, ClickedFooterRowsCallTheirCallbackAndTheMenuStaysOpen) {
    MenuHarness menu;
    menu.build("empty-state.json");
    menu.root->willOpen(nullptr);

    const struct {
        const char* title;
        const char* icon;
        int MenuHarness::*calls;
    } rows[] = {{"Open Orbelune OS", "arrow.up.right.square", &MenuHarness::dashboardOpened},
                {"Settings...", "gearshape", &MenuHarness::settingsOpened},
                {"Refresh", "arrow.clockwise", &MenuHarness::refreshes},
                {"Quit", "power", &MenuHarness::quits}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        const auto& view = itemTitled(*menu.root, row.title)->view();
        EXPECT_EQ(symbolName(*view), row.icon);
        EXPECT_EQ(view->accessibilityLabel(), row.title);
        testing::clickView(view);
        EXPECT_EQ(menu.*row.calls, 1);
        EXPECT_TRUE(menu.root->isOpen());
    }
    EXPECT_EQ(menu.dashboardOpened + menu.settingsOpened + menu.refreshes + menu.quits, 4);
}

TEST(MenuBuilderTest, RowsOutlivingTheBuilderDoNothing) {
    MenuHarness menu;
    menu.build("empty-state.json");
    auto refreshRow = itemTitled(*menu.root, "Refresh")->view();
    menu.builder.reset();
    testing::clickView(refreshRow);
    EXPECT_EQ(menu.refreshes, 0);
}

TEST(MenuBuilderTest, PlaceholderMenusOfferRetry) {
    MenuHarness menu;
    menu.build("pinned-controls-and-rooms-with-automations.json");
    ASSERT_FALSE(menu.builder->buttonTargets.empty());

    menu.builder->buildLoading(*menu.root, "Loading Orbelune OS...");
    EXPECT_EQ(menu.lines(),
              concat({"Loading Orbelune OS... (disabled)", "---"}, kUnreachableFooter));
    EXPECT_EQ(menu.builder->currentState, nullptr);
    EXPECT_TRUE(menu.builder->buttonTargets.empty());

    menu.build("empty-state.json");
    menu.builder->buildOffline(*menu.root, "Could not connect to the server.");
    EXPECT_EQ(menu.lines(), concat({"Orbelune OS is not reachable (disabled)",
                                    "Could not connect to the server. (disabled)", "---"},
                                   kUnreachableFooter));
    EXPECT_EQ(menu.builder->currentState, nullptr);

    testing::clickView(itemTitled(*menu.root, "Retry")->view());
    EXPECT_EQ(menu.refreshes, 1);
}

TEST(MenuBuilderTest, RoomsWithoutAutomationsHaveNoSeparatorBeforeTheFooters) {
    MenuHarness menu;
    menu.build("rooms-with-sensor-readings.json");
    EXPECT_EQ(menu.lines(), concat({"Rooms (disabled)", "Living Room >", "Bedroom >", "Office >",
                                    "Room >", "---"},
                                   kReachableFooter));
}

TEST(MenuBuilderTest, RoomSubmenusShowNoDevicesAndTheSensorSummary) {
    MenuHarness menu;
    menu.build("rooms-with-sensor-readings.json");
    // A light without controls of its own ("controls" is no member of a device) is its
    // header submenu; a switch without power a disabled line.
    const struct {
        const char* room;
        Lines submenu;
    } cases[] = {
        {"Living Room", {"Floor Lamp >", "---", "Temperature 21-23"}},
        {"Bedroom", {"No devices (disabled)", "---", "Temperature 21.0"}},
        {"Office", {"No devices (disabled)", "---", "Temperature 21  Humidity 40%"}},
        // A device, and readings that are not lists: no summary.
        {"Room", {"Hall Switch (disabled)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.room);
        StayOpenMenu* submenu = menu.submenu(c.room);
        ASSERT_NE(submenu, nullptr);
        EXPECT_EQ(outline(*submenu), c.submenu);
    }

    MenuItem* room = itemTitled(*menu.root, "Office");
    EXPECT_EQ(symbolName(*room->view()), "house");
    EXPECT_EQ(labelTexts(*room->view()), Lines{"Office"});

    MenuItem* summary = itemTitled(*menu.submenu("Office"), "Temperature 21  Humidity 40%");
    auto* view = dynamic_cast<ActionView*>(summary->view().get());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(symbolName(*view), "thermometer.medium");
    EXPECT_EQ(labelAt(*view, 0)->frame(), Rect(40, 7, 272, 17));
    testing::clickView(summary->view());  // does nothing, and nothing breaks
    EXPECT_TRUE(menu.platform.http.transfers().empty());
}

TEST(MenuBuilderTest, SensorSummaryShowsOneValueOrTheRange) {
    const struct {
        std::vector<double> temperatures;
        std::vector<double> humidities;
        const char* text;
    } cases[] = {
        {{21, 23}, {}, "Temperature 21-23"},   {{23, 21, 22}, {}, "Temperature 21-23"},
        {{20.96}, {}, "Temperature 21.0"},     {{21}, {40, 40.005}, "Temperature 21  Humidity 40%"},
        {{22.004, 22}, {}, "Temperature 22"},  {{}, {55.5, 60}, "Humidity 55.5-60%"},
        {{-2.5, 3}, {}, "Temperature -2.5-3"}, {{}, {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sensorSummaryText(c.temperatures, c.humidities), c.text);
    }
}

TEST(MenuBuilderTest, AutomationsWithoutRoomsFollowTheSectionsAboveThem) {
    MenuHarness menu;
    menu.build("automations-without-rooms.json");
    EXPECT_EQ(menu.lines(), concat({"AV Flow >", "Scenes >", "---"}, kReachableFooter));

    const struct {
        const char* title;
        const char* icon;
        const char* subtitle;
        Lines submenu;
    } cases[] = {
        {"AV Flow",
         "rectangle.connected.to.line.below",
         "1 script",
         {"AV Flow (disabled)", "---", "Cinema Mode"}},
        {"Scenes",
         "sparkles",
         "3 scripts",
         {"Scenes (disabled)", "---", "Good Morning", "Dinner", "Good Night"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const View& row = *itemTitled(*menu.root, c.title)->view();
        EXPECT_EQ(row.frame(), Rect(0, 0, 326, 30));
        EXPECT_EQ(symbolName(row), c.icon);
        EXPECT_EQ(labelTexts(row), (Lines{c.title, c.subtitle}));
        EXPECT_EQ(labelAt(row, 0)->frame(), Rect(40, 12, 260, 17));
        EXPECT_EQ(labelAt(row, 1)->frame(), Rect(40, 1, 260, 13));
        EXPECT_EQ(labelAt(row, 1)->font(), Font::system(10));

        StayOpenMenu* submenu = menu.submenu(c.title);
        ASSERT_NE(submenu, nullptr);
        EXPECT_EQ(outline(*submenu), c.submenu);
        const View& heading = *submenu->itemAt(0)->view();
        EXPECT_EQ(heading.frame().height(), 40);
        EXPECT_EQ(labelTexts(heading), (Lines{c.title, c.subtitle}));
    }
}

TEST(MenuBuilderTest, SectionSwitchesLeaveAutomationsOut) {
    const struct {
        bool avFlows;
        bool scenes;
        Lines top;
    } cases[] = {
        {true, true, {"AV Flow >", "Scenes >", "---"}},
        {true, false, {"AV Flow >", "---"}},
        {false, true, {"Scenes >", "---"}},
        {false, false, {"No Mac quick controls configured (disabled)", "---"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "avFlows " << c.avFlows << " scenes " << c.scenes);
        MenuHarness menu;
        setCorvixSection(menu.platform.defaults, corvixSectionAVFlowsKey, c.avFlows);
        setCorvixSection(menu.platform.defaults, corvixSectionScenesKey, c.scenes);
        menu.build("automations-without-rooms.json");
        EXPECT_EQ(menu.lines(), concat(c.top, kReachableFooter));
    }
}

TEST(MenuBuilderTest, PinnedRowsAreSwitchesOrButtons) {
    MenuHarness menu;
    menu.build("pinned-controls-and-rooms-with-automations.json");
    EXPECT_EQ(menu.lines(),
              concat({"Porch Light", "Doorbell Chime", "TV Time", "Control", "---",
                      "Rooms (disabled)", "Kitchen >", "---", "AV Flow >", "Scenes >", "---"},
                     kReachableFooter));

    const struct {
        const char* title;
        const char* icon;
        std::optional<bool> switchOn;  // none: a button row
    } cases[] = {
        // A capable toggle without "isOn" is off.
        {"Porch Light", "lightbulb", false},
        {"Doorbell Chime", "slider.horizontal.3", std::nullopt},
        // An AV flow with a reversible active scene.
        {"TV Time", "rectangle.connected.to.line.below", true},
        {"Control", "sparkles", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const View& row = *itemTitled(*menu.root, c.title)->view();
        EXPECT_EQ(symbolName(row), c.icon);
        auto* toggle = findSubview<OrbeluneToggleSwitch>(row);
        if (!c.switchOn) {
            EXPECT_EQ(toggle, nullptr);
            EXPECT_NE(dynamic_cast<const ActionView*>(&row), nullptr);
            EXPECT_EQ(row.frame(), Rect(0, 0, 326, 30));
            EXPECT_EQ(labelAt(row, 0)->frame(), Rect(40, 7, 272, 17));
            continue;
        }
        ASSERT_NE(toggle, nullptr);
        EXPECT_EQ(row.frame(), Rect(0, 0, 326, 32));
        EXPECT_EQ(findSubview<ImageView>(row)->frame(), Rect(14, 8, 16, 16));
        EXPECT_EQ(labelAt(row, 0)->frame(), Rect(40, 7, 228, 17));
        EXPECT_EQ(toggle->frame(), Rect(268, 4, 44, 24));
        EXPECT_EQ(toggle->isOn(), *c.switchOn);
        EXPECT_EQ(toggle->accessibilityValue(), AccessibilityValue(*c.switchOn ? 1.0 : 0.0));
        EXPECT_EQ(toggle->accessibilityLabel(), c.title);
        EXPECT_TRUE(toggle->isEnabled());
    }
}

TEST(MenuBuilderTest, PinnedSwitchesFollowANewerDocumentInPlace) {
    MenuHarness menu;
    menu.build("pinned-controls-and-rooms-with-automations.json");
    auto* porch = findSubview<OrbeluneToggleSwitch>(*itemTitled(*menu.root, "Porch Light")->view());
    auto* tv = findSubview<OrbeluneToggleSwitch>(*itemTitled(*menu.root, "TV Time")->view());
    ASSERT_TRUE(porch && tv);
    auto newer = std::make_shared<JsonObject>(
        *loadStateFixture("pinned-controls-and-rooms-with-automations.json"));
    json::array& pinned = (*newer)["pinned"].as_array();
    pinned[0].as_object()["toggle"].as_object()["isOn"] = true;
    pinned[2].as_object()["scene"].as_object()["active"] = false;

    ASSERT_TRUE(menu.builder->updateRows(newer));
    EXPECT_TRUE(porch->isOn());
    EXPECT_FALSE(tv->isOn());
    EXPECT_EQ(findSubview<OrbeluneToggleSwitch>(*itemTitled(*menu.root, "Porch Light")->view()),
              porch);
}

TEST(MenuBuilderTest, PinnedRowsRunTheirItem) {
    MenuHarness menu;
    menu.build("pinned-controls-and-rooms-with-automations.json");

    testing::clickView(itemTitled(*menu.root, "Doorbell Chime")->view());
    auto* porch = findSubview<OrbeluneToggleSwitch>(*itemTitled(*menu.root, "Porch Light")->view());
    testing::clickView(porch->shared_from_this());

    const auto& transfers = menu.platform.http.transfers();
    ASSERT_EQ(transfers.size(), 2u);
    EXPECT_TRUE(transfers[0]->request.url.ends_with("/items/pin-doorbell/run"));
    EXPECT_EQ(transfers[0]->request.body, R"({"source":"native-menubar","confirm":true})");
    EXPECT_TRUE(transfers[1]->request.url.ends_with("/items/pin-porch/run"));
    EXPECT_EQ(transfers[1]->request.body,
              R"({"source":"native-menubar","confirm":true,"desiredState":true})");
}

TEST(MenuBuilderTest, ControlTargetsLiveUntilTheNextBuild) {
    MenuHarness menu;
    menu.build("pinned-controls-and-rooms-with-automations.json");
    // The two pinned switches; the AV flow in the submenu is a run button.
    EXPECT_EQ(menu.builder->buttonTargets.size(), 2u);
    auto porchRow = itemTitled(*menu.root, "Porch Light")->view();
    auto* porch = findSubview<OrbeluneToggleSwitch>(*porchRow);
    ASSERT_NE(porch->target(), nullptr);

    menu.build("pinned-controls-and-rooms-with-automations.json");
    EXPECT_EQ(menu.builder->buttonTargets.size(), 2u);
    // The old switch's target went with its menu: flipping it sends nothing.
    EXPECT_EQ(porch->target(), nullptr);
    testing::clickView(porch->shared_from_this());
    EXPECT_TRUE(menu.platform.http.transfers().empty());
}

TEST(MenuBuilderTest, MediaDevicesAreListedOnceAtTheTop) {
    auto state = loadStateFixture("media-device-in-two-rooms.json");
    Lines names;
    for (const JsonObject* device : topLevelMediaDevices(*state)) {
        names.push_back(string(*device, "name"));
    }
    // Once each, in room order; a device without id or name is left out.
    EXPECT_EQ(names, (Lines{"Living Speaker", "Unnamed Receiver", "Kitchen Apple TV"}));

    const Lines rooms = {"---", "Rooms (disabled)", "Living Room >", "Kitchen >", "---"};
    for (bool appleTv : {true, false}) {
        SCOPED_TRACE(appleTv);
        MenuHarness menu;
        setCorvixSection(menu.platform.defaults, corvixSectionAppleTVKey, appleTv);
        menu.builder->build(*menu.root, state);
        // Without controls each is a disabled line; the Apple TV only with its section on.
        Lines media = {"Living Speaker (disabled)", "Unnamed Receiver (disabled)"};
        if (appleTv) {
            media.push_back("Kitchen Apple TV (disabled)");
        }
        EXPECT_EQ(menu.lines(), concat(concat(media, rooms), kReachableFooter));
    }
    // The separator follows the media section even when it added no rows.
    MenuHarness menu;
    setCorvixSection(menu.platform.defaults, corvixSectionAppleTVKey, false);
    menu.builder->build(*menu.root, testing::stateFromText(R"({"rooms":[{"name":"Den","devices":[
        {"id":"atv","name":"Den TV","kind":"media","capabilities":{"appleTv":true}}]}]})"));
    EXPECT_EQ(menu.lines(), concat({"---", "Rooms (disabled)", "Den >", "---"}, kReachableFooter));
}

TEST(MenuBuilderTest, IconFromItemPrefersTheClassificationThenTheIconText) {
    const struct {
        const char* record;
        const char* icon;
    } cases[] = {
        {R"({"builderType": "AV-Flow", "icon": "light"})", "rectangle.connected.to.line.below"},
        {R"({"programBuilderType": "Scene Builder", "icon": "tv"})", "sparkles"},
        {R"({"scene": {}, "icon": "light"})", "sparkles"},
        {R"({"icon": "lightflow"})", "lightbulb"},
        {R"({"icon": "mediaflow"})", "tv"},
        {R"({"icon": "smart-tv"})", "tv"},
        {R"({"icon": "avatar"})", "rectangle.connected.to.line.below"},
        {R"({"icon": "workflow"})", "rectangle.connected.to.line.below"},
        {R"({"icon": "program"})", "sparkles"},
        {R"({"icon": "Light"})", "slider.horizontal.3"},  // case matters
        {R"({"icon": 7})", "slider.horizontal.3"},
        {R"({})", "slider.horizontal.3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MenuBuilder::iconFromItem(*stateFromText(c.record)), c.icon) << c.record;
    }
}

TEST(MenuBuilderTest, RowFactoriesPlaceTheirPartsByTheSubtitle) {
    MenuHarness menu;
    const MenuBuilder& builder = *menu.builder;

    const struct {
        std::optional<std::string_view> subtitle;
        double height;
        Rect title;
    } headings[] = {
        {std::nullopt, 30, Rect(14, 7, 298, 16)},
        {"", 40, Rect(14, 18, 298, 16)},  // even an empty subtitle makes room
        {"2 scripts", 40, Rect(14, 18, 298, 16)},
    };
    for (const auto& h : headings) {
        auto item = builder.sectionTitleMenuItem("Title", h.subtitle);
        EXPECT_FALSE(item->isEnabled());
        EXPECT_EQ(item->title(), "Title");
        EXPECT_EQ(item->view()->frame(), Rect(0, 0, 326, h.height));
        EXPECT_EQ(labelAt(*item->view(), 0)->frame(), h.title);
        EXPECT_EQ(labelAt(*item->view(), 0)->font(), Font::system(13, FontWeight::Semibold));
        if (h.subtitle) {
            EXPECT_EQ(labelAt(*item->view(), 1)->frame(), Rect(14, 5, 298, 14));
            EXPECT_EQ(labelAt(*item->view(), 1)->font(), Font::system(11));
        }
    }

    const struct {
        const char* icon;
        std::optional<std::string_view> subtitle;
        double height;
        Rect title;
        std::optional<Rect> subtitleFrame;
        std::optional<Rect> iconFrame;
    } actions[] = {
        {"power", std::nullopt, 30, Rect(40, 7, 272, 17), std::nullopt, Rect(14, 7, 16, 16)},
        {"power", "Active", 40, Rect(40, 12, 272, 17), Rect(40, 1, 272, 13), Rect(14, 12, 16, 16)},
        {"", std::nullopt, 30, Rect(14, 7, 298, 17), std::nullopt, std::nullopt},
        {"", "Active", 40, Rect(14, 12, 298, 17), Rect(14, 1, 298, 13), std::nullopt},
        {"", "", 40, Rect(14, 12, 298, 17), std::nullopt, std::nullopt},
    };
    for (const auto& a : actions) {
        SCOPED_TRACE(::testing::Message() << a.icon << " / " << a.subtitle.value_or("none"));
        auto item = builder.actionItem("Title", a.icon, a.subtitle, true, "Label", [] {});
        const View& view = *item->view();
        EXPECT_EQ(view.frame(), Rect(0, 0, 326, a.height));
        EXPECT_EQ(view.accessibilityLabel(), "Label");
        EXPECT_EQ(labelAt(view, 0)->frame(), a.title);
        if (a.subtitleFrame) {
            ASSERT_NE(labelAt(view, 1), nullptr);
            EXPECT_EQ(labelAt(view, 1)->frame(), *a.subtitleFrame);
        } else {
            EXPECT_EQ(labelAt(view, 1), nullptr);
        }
        auto* icon = findSubview<ImageView>(view);
        EXPECT_EQ(icon ? std::optional<Rect>(icon->frame()) : std::nullopt, a.iconFrame);
    }

    auto row = builder.submenuItem("Kitchen", "house", "");
    EXPECT_EQ(labelTexts(*row->view()), Lines{"Kitchen"});  // an empty subtitle is not shown
    EXPECT_EQ(labelAt(*row->view(), 0)->frame(), Rect(40, 7, 260, 17));
    const auto& chevron = row->view()->subviews().back();
    EXPECT_EQ(chevron->frame(), Rect(302, 9, 12, 12));
    EXPECT_EQ(symbolName(*row->view()), "house");
}

TEST(MenuBuilderTest, BuildResolvesTheActivePlayerAndResetsThePlaybackUpdaters) {
    MenuHarness menu;
    const auto state = stateFromText(R"({
        "musicPlayer": {
            "available": true,
            "activePlayer": {"id": "player-kitchen", "name": "Kitchen"},
            "players": [{"id": "player-kitchen"}, {"id": "player-office", "name": "Office"}]
        }
    })");
    menu.builder->build(*menu.root, state);
    ASSERT_TRUE(menu.builder->activeMusicPlayer);
    EXPECT_EQ(string(*menu.builder->activeMusicPlayer, "id"), "player-kitchen");
    // The music entry, then its separator.
    EXPECT_EQ(menu.lines(),
              concat({"Music >", "---", "No Mac quick controls configured (disabled)", "---"},
                     kReachableFooter));

    // A rebuild drops the old updaters; only the new section's own are registered.
    const std::size_t registered = menu.builder->playbackUpdateHandlers.size();
    menu.builder->localActiveMusicPlayerId = "player-office";
    menu.builder->playbackUpdateHandlers.push_back([](const JsonObject&) {});
    menu.builder->build(*menu.root, state);
    EXPECT_EQ(string(*menu.builder->activeMusicPlayer, "name"), "Office");
    EXPECT_EQ(menu.builder->playbackUpdateHandlers.size(), registered);

    // An override naming no listed player leaves the hub's choice.
    menu.builder->localActiveMusicPlayerId = "player-gone";
    menu.builder->build(*menu.root, state);
    EXPECT_EQ(string(*menu.builder->activeMusicPlayer, "id"), "player-kitchen");

    setCorvixSection(menu.platform.defaults, corvixSectionMusicPlayerKey, false);
    menu.builder->build(*menu.root, state);
    EXPECT_FALSE(menu.builder->activeMusicPlayer);
    EXPECT_EQ(menu.lines(),
              concat({"No Mac quick controls configured (disabled)", "---"}, kReachableFooter));
}

TEST(MenuBuilderTest, UpdatePlaybackRunsTheUpdatersOnlyForAnAvailableActivePlayer) {
    const char* withPlayer =
        R"({"musicPlayer": {"available": true, "activePlayer": {"id": "p1", "title": "Song"}}})";
    const struct {
        const char* state;
        bool withUpdater;
        bool updated;
    } cases[] = {
        {withPlayer, true, true},
        {withPlayer, false, false},
        {R"({"musicPlayer": {"available": false, "activePlayer": {"id": "p1"}}})", true, false},
        {R"({"musicPlayer": {"available": "yes", "activePlayer": {"id": "p1"}}})", true, true},
        {R"({"musicPlayer": {"available": true, "activePlayer": "p1"}})", true, false},
        {R"({"musicPlayer": []})", true, false},
        {R"({})", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        MenuHarness menu;
        menu.build("empty-state.json");
        const auto built = menu.builder->currentState;
        std::vector<std::string> seen;
        if (c.withUpdater) {
            for (const char* name : {"card", "timeline"}) {
                menu.builder->playbackUpdateHandlers.push_back(
                    [&seen, name](const JsonObject& player) {
                        seen.push_back(name + (":" + string(player, "id")));
                    });
            }
        }
        auto state = stateFromText(c.state);
        EXPECT_EQ(menu.builder->updatePlayback(state), c.updated);
        const auto counters = RuntimeDiagnostics::menuBar().counters();
        if (c.updated) {
            EXPECT_EQ(seen, (Lines{"card:p1", "timeline:p1"}));
            EXPECT_EQ(menu.builder->currentState, state);
            EXPECT_EQ(string(*menu.builder->activeMusicPlayer, "id"), "p1");
            EXPECT_EQ(counters.at("playback_views_updated_in_place"), 2);
        } else {
            EXPECT_TRUE(seen.empty());
            EXPECT_EQ(menu.builder->currentState, built);
            EXPECT_FALSE(counters.contains("playback_views_updated_in_place"));
        }
    }
}

}  // namespace
}  // namespace corvix

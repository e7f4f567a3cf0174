#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "MenuTestSupport.h"
#include "controls/ActionView.h"
#include "controls/MediaAppModeControl.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "images/CostLimitedImageCache.h"
#include "images/MediaAppIcons.h"
#include "menu/MediaAppGridView.h"
#include "platform/Base64.h"
#include "platform/testing/HeadlessUiServices.h"
#include "platform/testing/RecordingGraphicsContext.h"
#include "platform/ui/Button.h"
#include "platform/ui/Event.h"
#include "platform/ui/Window.h"

namespace corvix {
namespace {

using testing::findSubview;
using testing::itemTitled;
using testing::labelTexts;
using testing::MenuHarness;
using testing::outline;
using Lines = std::vector<std::string>;
using Transfer = std::shared_ptr<FakeHttpClient::Transfer>;

/// The text of a state fixture, to be changed before it is parsed.
std::string fixtureText(const std::string& name) {
    std::ifstream in(std::string(CORVIX_FIXTURES_DIR) + "/state/" + name);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

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

std::string base64(std::string_view bytes) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) {
            out.push_back(alphabet[(v >> s) & 63]);
        }
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out.push_back(alphabet[(v >> 18) & 63]);
        out.push_back(alphabet[(v >> 12) & 63]);
        out += i + 1 < bytes.size() ? std::string(1, alphabet[(v >> 6) & 63]) + "=" : "==";
    }
    return out;
}

std::vector<ActionView*> actionViews(const View& view) {
    std::vector<ActionView*> found;
    for (const auto& subview : view.subviews()) {
        if (auto* action = dynamic_cast<ActionView*>(subview.get())) {
            found.push_back(action);
        }
    }
    return found;
}

ActionView* buttonWithTip(const View& view, std::string_view tip) {
    for (ActionView* button : actionViews(view)) {
        if (button->toolTip() == tip) {
            return button;
        }
    }
    return nullptr;
}

class MediaDeviceMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platformServices().images = &ui.images;
        platformServices().appearance = &ui.appearance;
        menu.build("media-remote-and-apps.json");
    }
    StayOpenMenu& device(std::string_view name) {
        StayOpenMenu* submenu = menu.submenu(name);
        EXPECT_NE(submenu, nullptr) << name;
        return submenu ? *submenu : *menu.root;
    }
    View& rowView(const Menu& parent, std::string_view title) {
        MenuItem* item = itemTitled(parent, title);
        EXPECT_TRUE(item && item->view()) << title;
        static View none;
        return item && item->view() ? *item->view() : none;
    }
    const std::vector<Transfer>& requests() const { return menu.platform.http.transfers(); }
    void answer(const Transfer& transfer, int status, std::string body) {
        menu.platform.http.respond(transfer, status, std::move(body));
        menu.platform.loop.runUntilIdle();
    }
    std::vector<Transfer> requestsTo(std::string_view part) const {
        std::vector<Transfer> found;
        for (const auto& t : requests()) {
            if (t->request.url.find(part) != std::string::npos) {
                found.push_back(t);
            }
        }
        return found;
    }
    std::int64_t counter(const std::string& name) const {
        const auto counters = RuntimeDiagnostics::menuBar().counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }
    void click(View& view, Point at = {-1, -1}) {
        testing::clickView(view.shared_from_this(), at);
        menu.platform.loop.runUntilIdle();
    }
    /// Chooses Remote (0) or Apps (1) in the device's mode control.
    void chooseMode(StayOpenMenu& submenu, int segment) {
        // Through the whole row, as the pointer reaches it.
        View& row = rowView(submenu, "Remote / Apps");
        ASSERT_NE(findSubview<MediaAppModeControl>(row), nullptr);
        click(row, {segment == 0 ? 76.0 : 246.0, 19});
    }
    /// Shows the Apple TV's Apps panel with `apps` as its list.
    void showApps(std::string_view apps) {
        chooseMode(device("Den Apple TV"), 1);
        auto fetch = requestsTo("/devices/atv-1/apps");
        ASSERT_EQ(fetch.size(), 1u);
        answer(fetch[0], 200, std::string(R"({"status":true,"apps":)") + std::string(apps) + "}");
    }

    HeadlessUiServices ui;
    MenuHarness menu;
};

TEST(MediaDeviceStatusTest, StatusPrefersPowerThenWhatPlaysThenTheDeviceStatus) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"state":{"currentApp":"TV","playback":"Paused"}})", "TV \u2022 Paused"},
        {R"({"state":{"currentApp":"TV","playback":"PLAYING"}})", "TV \u2022 Playing"},
        {R"({"state":{"title":"Film","currentAppName":"Movies","playback":"idle"}})",
         "Film \u2022 Idle"},
        {R"({"state":{"playback":"playing"}})", "Playing"},
        {R"({"state":{"playback":"idle","status":"Input 2"}})", "Input 2"},
        {R"({"state":{"playback":"idle"}})", "Ready"},
        {R"({"power":{"toggleItemId":"x"},"state":{"power":false,"title":"Film"}})", "Powered off"},
        {R"({"state":{"extras":{"powerState":"off"}}})", "Powered off"},
        {R"({"power":{"isOn":true},"state":{"power":false,"currentAppName":"Music"}})", "Music"},
    };
    for (const auto& [device, status] : cases) {
        EXPECT_EQ(mediaDeviceStatusText(object(device)), status) << device;
    }
}

TEST_F(MediaDeviceMenuTest, AppleTvShowsHeaderModeRemoteAndMore) {
    StayOpenMenu& atv = device("Den Apple TV");
    EXPECT_EQ(outline(atv), (Lines{"Den Apple TV", "Remote / Apps", "Remote", "---", "More"}));
    View& header = rowView(atv, "Den Apple TV");
    EXPECT_EQ(header.frame().size, (Size{326, 48}));
    EXPECT_EQ(labelTexts(header), (Lines{"Den Apple TV", "TV \u2022 Paused"}));
    auto* power = findSubview<OrbeluneToggleSwitch>(header);
    ASSERT_NE(power, nullptr);
    EXPECT_TRUE(power->isOn());
    EXPECT_EQ(power->accessibilityLabel(), "Den Apple TV power");
    auto* mode = findSubview<MediaAppModeControl>(rowView(atv, "Remote / Apps"));
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->selectedSegment(), 0);
    EXPECT_TRUE(mode->isEnabled());

    // A device without a remote layout: every button there, none usable, and no "More".
    StayOpenMenu& radio = device("Radio");
    EXPECT_EQ(outline(radio), (Lines{"Radio", "Remote"}));
    View& remote = rowView(radio, "Remote");
    EXPECT_EQ(actionViews(remote).size(), 14u);
    EXPECT_NE(buttonWithTip(remote, "Home unavailable"), nullptr);
    EXPECT_NE(buttonWithTip(remote, "Command unavailable"), nullptr);
}

TEST_F(MediaDeviceMenuTest, BackFallsBackToMenuAndSlotsThatAreNotCommandsAreUnavailable) {
    View& remote = rowView(device("Den Apple TV"), "Remote");
    ActionView* back = nullptr;
    for (ActionView* button : actionViews(remote)) {
        if (button->frame() == Rect(18, 68, 82, 30)) {
            back = button;
        }
    }
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->toolTip(), "menu");
    EXPECT_NE(buttonWithTip(remote, "TV"), nullptr);                   // the home slot's own label
    EXPECT_NE(buttonWithTip(remote, "Command unavailable"), nullptr);  // "up" is no object
    click(*back);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_NE(requests()[0]->request.url.find("/devices/atv-1/commands/menu/run"),
              std::string::npos);
}

TEST_F(MediaDeviceMenuTest, MoreGridHasOneFullWidthButtonOrTwoColumns) {
    View& several = rowView(device("Den Apple TV"), "More");
    EXPECT_EQ(several.frame().size.height, 26 * 2 + 30 + 7 + 10);
    std::vector<Rect> frames;
    std::vector<std::string> titles;
    for (const auto& subview : several.subviews()) {
        if (auto* button = dynamic_cast<Button*>(subview.get())) {
            frames.push_back(button->frame());
            titles.push_back(button->toolTip());
        }
    }
    EXPECT_EQ(titles, (Lines{"Screensaver", "control_center", "Restart"}));
    EXPECT_EQ(frames, (std::vector<Rect>{Rect(14, 43, 145, 26), Rect(167, 43, 145, 26),
                                         Rect(14, 10, 145, 26)}));

    View& one = rowView(device("Den TV"), "More");
    EXPECT_EQ(one.frame().size.height, 66);
    auto* button = findSubview<Button>(one);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->frame(), Rect(14, 10, 298, 26));

    // An item-backed command runs its item without a desired state, and tells every refusal,
    // one as unsupported too.
    button->sendAction();
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_NE(requests()[0]->request.url.find("/items/tv-1%2Fgame/run"), std::string::npos);
    const JsonObject body = object(requests()[0]->request.body.value_or(""));
    EXPECT_FALSE(body.contains("desiredState"));
    answer(requests()[0], 200,
           R"({"status":false,"message":"Not supported","code":"unsupported"})");
    EXPECT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.refreshes, 0);
    button->sendAction();
    answer(requests()[1], 200, R"({"status":true})");
    EXPECT_EQ(menu.refreshes, 1);
    EXPECT_EQ(menu.alerts.shown.size(), 1u);
}

TEST_F(MediaDeviceMenuTest, OnlyTheRemoteAndKeyCommandsOfMoreRefreshQuietlyWhenUnsupported) {
    const char* unsupported = R"({"status":false,"message":"Not supported","code":"unsupported"})";
    StayOpenMenu& atv = device("Den Apple TV");
    // "More" with a key: a device command, whose unsupported answer only refreshes.
    std::vector<Button*> more;
    for (const auto& subview : rowView(atv, "More").subviews()) {
        if (auto* button = dynamic_cast<Button*>(subview.get())) {
            more.push_back(button);
        }
    }
    ASSERT_EQ(more.size(), 3u);
    more[0]->sendAction();
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_NE(requests()[0]->request.url.find("/devices/atv-1/commands/screensaver/run"),
              std::string::npos);
    answer(requests()[0], 200, unsupported);
    EXPECT_EQ(menu.alerts.shown.size(), 0u);
    EXPECT_EQ(menu.refreshes, 1);
    // The remote's item-backed button stays quiet on the same answer.
    ActionView* playPause = buttonWithTip(rowView(atv, "Remote"), "Command");
    ASSERT_NE(playPause, nullptr);
    click(*playPause);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_NE(requests()[1]->request.url.find("/items/atv-1%2Fplay/run"), std::string::npos);
    answer(requests()[1], 200, unsupported);
    EXPECT_EQ(menu.alerts.shown.size(), 0u);
    EXPECT_EQ(menu.refreshes, 2);
    // "More"'s item-backed Restart tells it.
    more[2]->sendAction();
    answer(requests()[2], 200, unsupported);
    EXPECT_EQ(menu.alerts.shown.size(), 1u);
    EXPECT_EQ(menu.refreshes, 2);
}

TEST_F(MediaDeviceMenuTest, PowerSwitchSetsItselfBackWhenNothingSwitchedTheDevice) {
    // No item for the new state: nothing is sent and the switch shows the truth again.
    auto* tvPower = findSubview<OrbeluneToggleSwitch>(rowView(device("Den TV"), "Den TV"));
    ASSERT_NE(tvPower, nullptr);
    click(*tvPower);
    EXPECT_TRUE(tvPower->isOn());
    EXPECT_TRUE(tvPower->isEnabled());
    EXPECT_TRUE(requests().empty());

    auto* power =
        findSubview<OrbeluneToggleSwitch>(rowView(device("Den Apple TV"), "Den Apple TV"));
    ASSERT_NE(power, nullptr);
    click(*power);
    EXPECT_FALSE(power->isOn());
    EXPECT_FALSE(power->isEnabled());
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_NE(requests()[0]->request.url.find("/items/atv-1%2Foff/run"), std::string::npos);
    EXPECT_EQ(object(requests()[0]->request.body.value_or("")).at("desiredState"), false);
    answer(requests()[0], 500, R"({"status":false,"message":"Hub busy"})");
    EXPECT_TRUE(power->isOn());
    EXPECT_TRUE(power->isEnabled());
    EXPECT_EQ(menu.alerts.shown.size(), 1u);

    click(*power);
    answer(requests()[1], 200, R"({"status":true})");
    EXPECT_FALSE(power->isOn());
    EXPECT_TRUE(power->isEnabled());
    EXPECT_EQ(menu.refreshes, 1);
}

TEST_F(MediaDeviceMenuTest, HeaderFollowsNewerStateAndAnUnchangedOneKeepsTheRows) {
    std::string text = fixtureText("media-remote-and-apps.json");
    StayOpenMenu& atv = device("Den Apple TV");
    const View* remoteBefore = itemTitled(atv, "Remote")->view().get();
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    EXPECT_EQ(itemTitled(atv, "Remote")->view().get(), remoteBefore);

    const std::string on = R"("isOn": true, "onItemId")";
    text.replace(text.find(on), on.size(), R"("isOn": false, "onItemId")");
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    View& header = rowView(atv, "Den Apple TV");
    EXPECT_EQ(labelTexts(header), (Lines{"Den Apple TV", "Powered off"}));
    auto* power = findSubview<OrbeluneToggleSwitch>(header);
    ASSERT_NE(power, nullptr);
    EXPECT_FALSE(power->isOn());
    // The mode switch rebuilds from the newer record too.
    chooseMode(atv, 1);
    EXPECT_EQ(labelTexts(rowView(atv, "Den Apple TV")), (Lines{"Den Apple TV", "Powered off"}));
}

TEST_F(MediaDeviceMenuTest, AListArrivingAfterTheDeviceChangedShowsItAsItIsNow) {
    std::string text = fixtureText("media-remote-and-apps.json");
    StayOpenMenu& atv = device("Den Apple TV");
    chooseMode(atv, 1);
    auto fetch = requestsTo("/devices/atv-1/apps");
    ASSERT_EQ(fetch.size(), 1u);
    const std::string on = R"("isOn": true, "onItemId")";
    text.replace(text.find(on), on.size(), R"("isOn": false, "onItemId")");
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    EXPECT_EQ(labelTexts(rowView(atv, "Den Apple TV")), (Lines{"Den Apple TV", "Powered off"}));

    answer(fetch[0], 200, R"({"status":true,"apps":[{"id":"a","name":"Alpha"}]})");
    EXPECT_EQ(outline(atv),
              (Lines{"Den Apple TV", "Remote / Apps", "Apps", "---", "Refresh Apps"}));
    View& header = rowView(atv, "Den Apple TV");
    EXPECT_EQ(labelTexts(header), (Lines{"Den Apple TV", "Powered off"}));
    auto* power = findSubview<OrbeluneToggleSwitch>(header);
    ASSERT_NE(power, nullptr);
    EXPECT_FALSE(power->isOn());
    // And it stays so: the next unchanged document has nothing to correct.
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    EXPECT_EQ(labelTexts(rowView(atv, "Den Apple TV")), (Lines{"Den Apple TV", "Powered off"}));
}

TEST_F(MediaDeviceMenuTest, RebuildsInPlaceReplaceTheSubmenusTargets) {
    std::string text = fixtureText("media-remote-and-apps.json");
    const std::string on = R"("isOn": true, "onItemId")";
    const std::string off = R"("isOn": false, "onItemId")";
    const std::size_t at = text.find(on);
    ASSERT_NE(at, std::string::npos);
    const std::string onText = text;
    std::string offText = text;
    offText.replace(at, on.size(), off);
    const std::size_t before = menu.builder->buttonTargets.size();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(i % 2 ? onText : offText)));
    }
    EXPECT_EQ(menu.builder->buttonTargets.size(), before);
    // The newest rows' controls still have their targets.
    StayOpenMenu& atv = device("Den Apple TV");
    auto* power = findSubview<OrbeluneToggleSwitch>(rowView(atv, "Den Apple TV"));
    ASSERT_NE(power, nullptr);
    EXPECT_TRUE(power->isOn());
    click(*power);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_NE(requests()[0]->request.url.find("/items/atv-1%2Foff/run"), std::string::npos);
    auto* more = findSubview<Button>(rowView(atv, "More"));
    ASSERT_NE(more, nullptr);
    EXPECT_TRUE(more->sendAction());
    EXPECT_EQ(requests().size(), 2u);
}

TEST_F(MediaDeviceMenuTest, AListArrivingAfterARebuildFillsTheSubmenuShownNow) {
    chooseMode(device("Den Apple TV"), 1);
    auto fetch = requestsTo("/devices/atv-1/apps");
    ASSERT_EQ(fetch.size(), 1u);
    // The menu is rebuilt while the list loads: the new submenu waits for the same fetch.
    menu.builder->build(*menu.root, menu.builder->currentState);
    StayOpenMenu& rebuilt = device("Den Apple TV");
    EXPECT_EQ(outline(rebuilt),
              (Lines{"Den Apple TV", "Remote / Apps", "Loading Apps... (disabled)"}));
    EXPECT_EQ(requestsTo("/devices/atv-1/apps").size(), 1u);
    answer(fetch[0], 200, R"({"status":true,"apps":[{"id":"a","name":"Alpha"}]})");
    EXPECT_EQ(outline(device("Den Apple TV")),
              (Lines{"Den Apple TV", "Remote / Apps", "Apps", "---", "Refresh Apps"}));
}

TEST_F(MediaDeviceMenuTest, AppsModeLoadsOnceThenShowsTheGrid) {
    StayOpenMenu& atv = device("Den Apple TV");
    chooseMode(atv, 1);
    EXPECT_EQ(outline(atv), (Lines{"Den Apple TV", "Remote / Apps",
                                   "Loading Apps..."
                                   " (disabled)"}));
    auto fetch = requestsTo("/devices/atv-1/apps");
    ASSERT_EQ(fetch.size(), 1u);
    EXPECT_EQ(fetch[0]->request.method, "GET");
    // The Apple TV is listed twice; the second submenu asks for nothing more.
    menu.builder->buildMediaDeviceSubmenu(*menu.builder->currentState->at("rooms")
                                               .as_array()[0]
                                               .as_object()
                                               .at("devices")
                                               .as_array()[0]
                                               .if_object(),
                                          atv);
    EXPECT_EQ(requestsTo("/devices/atv-1/apps").size(), 1u);
    answer(
        fetch[0], 200,
        R"({"status":true,"apps":[{"id":"com.apple.TVMusic","name":"Music","iconUrl":"http://icons.example/m.png"},
               {"id":"a","name":"Alpha"},{"id":"a","name":"Again"},{"id":"b"}]})");
    EXPECT_EQ(outline(atv),
              (Lines{"Den Apple TV", "Remote / Apps", "Apps", "---", "Refresh Apps"}));
    auto* grid = dynamic_cast<MediaAppGridView*>(&rowView(atv, "Apps"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->appIds(), (Lines{"com.apple.TVMusic", "a", "b"}));
    EXPECT_EQ(grid->tile("b")->model().name, "App");
    EXPECT_EQ(grid->tile("com.apple.TVMusic")->model().fallbackSymbol, "music.note");
    // A system app's icon is never fetched.
    EXPECT_TRUE(requestsTo("icons.example").empty());
}

TEST_F(MediaDeviceMenuTest, FailedListShowsRetryWithoutAlert) {
    StayOpenMenu& atv = device("Den Apple TV");
    chooseMode(atv, 1);
    answer(requestsTo("/apps")[0], 500, R"({"status":false,"message":"No Apple TV"})");
    const Lines shown = outline(atv);
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[4], "Retry Apps");
    EXPECT_EQ(menu.alerts.shown.size(), 0u);
    auto* retry = dynamic_cast<ActionView*>(&rowView(atv, "Retry Apps"));
    ASSERT_NE(retry, nullptr);
    click(*retry);
    EXPECT_EQ(requestsTo("/apps").size(), 2u);
    answer(requestsTo("/apps")[1], 200, R"({"status":true,"apps":[]})");
    EXPECT_EQ(outline(atv), (Lines{"Den Apple TV", "Remote / Apps", "No apps available (disabled)",
                                   "---", "Refresh Apps"}));
}

TEST_F(MediaDeviceMenuTest, IconsLoadOnceEachAndFailuresKeepTheSymbol) {
    const std::string inlineIcon = "data:image/png;base64," + base64(png(512, 256));
    showApps(R"([{"id":"x","name":"X","iconUrl":"http://icons.example/x.png"},
                 {"id":"y","name":"  Podcasts ","iconUrl":"https://icons.example/y.png"},
                 {"id":"z","name":"Z","iconUrl":"http://icons.example/x.png"},
                 {"id":"k","name":"Kids","iconUrl":"data:image/png,AAAA"},
                 {"id":"n","name":"News","iconUrl":")" +
             inlineIcon + R"("}])");
    StayOpenMenu& atv = device("Den Apple TV");
    auto* grid = dynamic_cast<MediaAppGridView*>(&rowView(atv, "Apps"));
    ASSERT_NE(grid, nullptr);
    // The inline icon is decoded at once, reduced, and cached without a request.
    ASSERT_TRUE(grid->tile("n")->model().image);
    EXPECT_EQ(grid->tile("n")->model().image->bitmaps()[0].pixelsWide, 256);
    EXPECT_TRUE(sharedMediaAppIconCache().image("data:n"));
    EXPECT_FALSE(grid->tile("k")->model().image);
    EXPECT_EQ(grid->tile("y")->model().fallbackSymbol, "antenna.radiowaves.left.and.right");
    ASSERT_EQ(requestsTo("icons.example").size(), 2u);
    for (const auto& t : requestsTo("icons.example")) {
        EXPECT_EQ(t->request.headers.size(), 0u);
        EXPECT_TRUE(t->request.followRedirects);
    }
    answer(requestsTo("x.png")[0], 200, png(300, 300));
    EXPECT_TRUE(grid->tile("x")->model().image);
    EXPECT_TRUE(grid->tile("z")->model().image);
    answer(requestsTo("y.png")[0], 404, png(10, 10));
    EXPECT_FALSE(grid->tile("y")->model().image);
    EXPECT_EQ(counter("media_app_icon_load_failed"), 1);
    EXPECT_TRUE(menu.builder->mediaAppIconTasks.empty());

    // Shown again, the cached one is a hit and only the failed one is asked for once more.
    menu.builder->buildMediaDeviceSubmenu(*menu.builder->currentState->at("rooms")
                                               .as_array()[0]
                                               .as_object()
                                               .at("devices")
                                               .as_array()[0]
                                               .if_object(),
                                          atv);
    EXPECT_EQ(counter("media_app_icon_cache_hit"), 2);
    EXPECT_EQ(requestsTo("icons.example").size(), 3u);
}

TEST_F(MediaDeviceMenuTest, BackToRemoteCancelsIconsAndALateAnswerIsNotCached) {
    showApps(R"([{"id":"x","name":"X","iconUrl":"http://icons.example/x.png"}])");
    StayOpenMenu& atv = device("Den Apple TV");
    ASSERT_EQ(menu.builder->mediaAppIconTasks.size(), 1u);
    chooseMode(atv, 0);
    EXPECT_EQ(outline(atv), (Lines{"Den Apple TV", "Remote / Apps", "Remote", "---", "More"}));
    EXPECT_TRUE(menu.builder->mediaAppIconTasks.empty());
    EXPECT_EQ(counter("media_app_icon_request_cancelled"), 1);
    auto late = requestsTo("x.png")[0];
    if (!late->finished) {
        answer(late, 200, png(64, 64));
    }
    EXPECT_FALSE(sharedMediaAppIconCache().image("http://icons.example/x.png"));
}

TEST_F(MediaDeviceMenuTest, RemoteOfAnotherDeviceKeepsTheGridsIconsLoading) {
    showApps(R"([{"id":"x","name":"X","iconUrl":"http://icons.example/x.png"}])");
    // The TV's submenu shows its remote while the Apple TV's grid waits for its icon.
    StayOpenMenu& tv = device("Den TV");
    menu.builder->buildMediaDeviceSubmenu(*menu.builder->currentState->at("rooms")
                                               .as_array()[0]
                                               .as_object()
                                               .at("devices")
                                               .as_array()[1]
                                               .if_object(),
                                          tv);
    EXPECT_EQ(menu.builder->mediaAppIconTasks.size(), 1u);
    answer(requestsTo("x.png")[0], 200, png(64, 64));
    auto* grid = dynamic_cast<MediaAppGridView*>(&rowView(device("Den Apple TV"), "Apps"));
    ASSERT_NE(grid, nullptr);
    EXPECT_TRUE(grid->tile("x")->model().image);
}

TEST_F(MediaDeviceMenuTest, EveryShownGridOfTheDeviceGetsItsIcon) {
    showApps(R"([{"id":"x","name":"X","iconUrl":"http://icons.example/x.png"}])");
    // A full rebuild keeps the mode: the Apple TV at the top and in its room both show apps.
    menu.builder->build(*menu.root, menu.builder->currentState);
    StayOpenMenu* room = menu.submenu("Living Room");
    ASSERT_NE(room, nullptr);
    MenuItem* row = itemTitled(*room, "Den Apple TV");
    ASSERT_TRUE(row && row->submenu());
    auto& inRoom = dynamic_cast<StayOpenMenu&>(*row->submenu());
    EXPECT_EQ(outline(inRoom).size(), 5u);
    auto* roomGrid = dynamic_cast<MediaAppGridView*>(&rowView(inRoom, "Apps"));
    auto* topGrid = dynamic_cast<MediaAppGridView*>(&rowView(device("Den Apple TV"), "Apps"));
    ASSERT_TRUE(roomGrid && topGrid);
    ASSERT_NE(roomGrid, topGrid);
    answer(requestsTo("x.png")[0], 200, png(64, 64));
    EXPECT_TRUE(roomGrid->tile("x")->model().image);
    EXPECT_TRUE(topGrid->tile("x")->model().image);
}

TEST_F(MediaDeviceMenuTest, IconAddressesWithSpacesOrNonAsciiNamesAreFetchedEncoded) {
    showApps(R"([{"id":"x","name":"X","iconUrl":"http://icons.example/My Icon.png"},
                 {"id":"y","name":"Y","iconUrl":"https://icons.example/Caf\u00e9 [HD].png"}])");
    auto* grid = dynamic_cast<MediaAppGridView*>(&rowView(device("Den Apple TV"), "Apps"));
    ASSERT_NE(grid, nullptr);
    const auto icons = requestsTo("icons.example");
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_EQ(icons[0]->request.url, "http://icons.example/My%20Icon.png");
    EXPECT_EQ(icons[1]->request.url, "https://icons.example/Caf%C3%A9%20%5BHD%5D.png");
    answer(icons[0], 200, png(64, 64));
    answer(icons[1], 200, png(64, 64));
    // Cached under the text the hub gave, so the tiles find them.
    EXPECT_TRUE(grid->tile("x")->model().image);
    EXPECT_TRUE(grid->tile("y")->model().image);
    EXPECT_TRUE(sharedMediaAppIconCache().image("http://icons.example/My Icon.png"));
    EXPECT_EQ(counter("media_app_icon_load_failed"), 0);
}

TEST_F(MediaDeviceMenuTest, TileLaunchesTheAppWithoutRefresh) {
    showApps(R"([{"id":"com.example.film","name":"Film"}])");
    auto* grid = dynamic_cast<MediaAppGridView*>(&rowView(device("Den Apple TV"), "Apps"));
    ASSERT_NE(grid, nullptr);
    MediaAppTileView* tile = grid->tile("com.example.film");
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->accessibilityLabel(), "Launch Film");
    EXPECT_TRUE(tile->accessibilityPerformPress());
    auto launch = requestsTo("/launch");
    ASSERT_EQ(launch.size(), 1u);
    EXPECT_NE(launch[0]->request.url.find("/devices/atv-1/apps/com.example.film/launch"),
              std::string::npos);
    const JsonObject body = object(launch[0]->request.body.value_or(""));
    EXPECT_EQ(body.at("appId"), "com.example.film");
    EXPECT_TRUE(body.contains("source"));
    answer(launch[0], 200, R"({"status":true})");
    EXPECT_EQ(menu.refreshes, 0);
}

TEST_F(MediaDeviceMenuTest, AnIconDownloadEndsWithItsPictureOrWhyThereIsNone) {
    const Error refused{kUrlErrorDomain, kUrlErrorCannotConnectToHost, "down"};
    struct Case {
        const char* name;
        std::optional<int> status;  // none: the transfer fails
        std::string body;
        bool cancelFirst;
        std::optional<Error> error;  // none: a picture
    } cases[] = {
        {"picture", 200, png(512, 320), false, std::nullopt},
        {"not a picture", 200, "<html>no icon</html>", false, mediaAppIconUndecodableError()},
        {"error page with a picture", 404, png(64, 64), false, mediaAppIconUndecodableError()},
        {"transfer failed", std::nullopt, "", false, refused},
        {"cancelled, answered anyway", 200, png(64, 64), true, cancellationError()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<MediaAppIconFetchResult> ended;
        TaskHandle task = fetchMediaAppIcon("http://icons.example/a.png",
                                            [&](MediaAppIconFetchResult r) { ended = r; });
        auto transfer = menu.platform.http.last();
        EXPECT_TRUE(transfer->request.headers.empty());
        if (c.cancelFirst) {
            task.cancel();
        }
        if (!transfer->finished) {
            if (c.status) {
                answer(transfer, *c.status, c.body);
            } else {
                menu.platform.http.respond(transfer, refused);
                menu.platform.loop.runUntilIdle();
            }
        }
        menu.platform.loop.runUntilIdle();
        ASSERT_TRUE(ended);
        EXPECT_EQ(ended->task, task.state().get());
        if (c.error) {
            ASSERT_FALSE(ended->image.ok());
            EXPECT_EQ(ended->image.error(), *c.error);
        } else {
            ASSERT_TRUE(ended->image.ok());
            EXPECT_EQ(ended->image.value()->bitmaps()[0].pixelsWide, 256);
        }
    }
    EXPECT_EQ(mediaAppIconUndecodableError(),
              (Error{"OrbeluneMenuBar", 5, "App icon could not be decoded"}));
}

TEST_F(MediaDeviceMenuTest, AGridRebuiltUnderTheKeyboardKeepsTheFocusedApp) {
    showApps(R"([{"id":"a","name":"A"},{"id":"b","name":"B"},{"name":"No id"}])");
    StayOpenMenu& atv = device("Den Apple TV");
    Window window(Rect(0, 0, 326, 400), WindowStyleBorderless);
    // The popup's row holds the grid it shows until the rows are rebuilt.
    const std::shared_ptr<View> held = itemTitled(atv, "Apps")->view();
    auto* before = dynamic_cast<MediaAppGridView*>(held.get());
    ASSERT_NE(before, nullptr);
    before->setHostWindow(&window);
    ASSERT_TRUE(window.makeFirstResponder(before->tile("b")));
    EXPECT_EQ(before->focusedAppId(), "b");
    // The launch changed what the header shows: the submenu is built again.
    std::ifstream in(std::string(CORVIX_FIXTURES_DIR) + "/state/media-remote-and-apps.json");
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    const std::string playback = R"("playback")";
    text.replace(text.find(playback), playback.size(), R"("title": "B is on", "playback")");
    ASSERT_TRUE(menu.builder->updateRows(testing::stateFromText(text)));
    auto* after = dynamic_cast<MediaAppGridView*>(&rowView(atv, "Apps"));
    ASSERT_TRUE(after && after != before);
    before->setHostWindow(nullptr);
    after->setHostWindow(&window);
    ASSERT_TRUE(after->acceptKeyboardEntry(true));
    EXPECT_EQ(window.firstResponder(), after->tile("b"));
    // Only once: a later entry starts at the first tile again (not at the app without an id).
    window.makeFirstResponder(nullptr);
    ASSERT_TRUE(after->acceptKeyboardEntry(true));
    EXPECT_EQ(window.firstResponder(), after->tile("a"));

    after->setHostWindow(nullptr);
}

TEST(MediaAppTileLayoutTest, ThreeTilesARowAndTheGridStopsGrowingAt320) {
    const MediaAppTileLayout layout(326);
    EXPECT_EQ(layout.tileWidth, 91);
    EXPECT_DOUBLE_EQ(layout.tileSize.height, 91 / 1.6 + 20);
    EXPECT_EQ(layout.tileFrame(4).origin.x, 16 + 101);
    EXPECT_DOUBLE_EQ(layout.tileFrame(4).origin.y, 91 / 1.6 + 30);
    EXPECT_DOUBLE_EQ(layout.documentHeight(7), 3 * (91 / 1.6 + 20) + 20);
    EXPECT_EQ(layout.documentHeight(0), 0);
    EXPECT_EQ(MediaAppTileLayout(10).tileWidth, 1);

    std::vector<MediaAppTileModel> models;
    for (int i = 0; i < 13; ++i) {
        models.push_back({std::to_string(i), "App", "", nullptr, "app.fill"});
    }
    const MediaAppGridView seven(326, {models.begin(), models.begin() + 7}, {});
    EXPECT_DOUBLE_EQ(seven.frame().size.height, 3 * (91 / 1.6 + 20) + 20);
    const MediaAppGridView thirteen(326, models, {});
    EXPECT_EQ(thirteen.frame().size.height, 320);
    EXPECT_GT(thirteen.scrollView().documentView()->frame().size.height, 320);
}

TEST(MediaAppGridFocusTest, KeysMoveFocusAcrossTilesAndScrollItIntoView) {
    std::vector<MediaAppTileModel> models;
    for (int i = 0; i < 13; ++i) {
        models.push_back({std::to_string(i), "App", "", nullptr, "app.fill"});
    }
    auto grid = std::make_shared<MediaAppGridView>(326, models, [](const std::string&) {});
    Window window(Rect(0, 0, 326, 320), WindowStyleBorderless);
    window.setContentView(grid);
    ASSERT_TRUE(window.makeFirstResponder(grid->tile("0")));
    auto press = [&](KeyCode key, unsigned modifiers = ModifierNone) {
        Event event;
        event.type = EventType::KeyDown;
        event.keyCode = key;
        event.modifiers = modifiers;
        window.firstResponder()->keyDown(event);
        return window.firstResponder();
    };
    EXPECT_EQ(press(KeyCode::Tab), grid->tile("1"));
    EXPECT_EQ(press(KeyCode::DownArrow), grid->tile("4"));
    EXPECT_EQ(press(KeyCode::Tab, ModifierShift), grid->tile("3"));
    EXPECT_EQ(press(KeyCode::UpArrow), grid->tile("0"));
    EXPECT_EQ(press(KeyCode::LeftArrow), grid->tile("0"));  // the first stays focused
    for (int i = 0; i < 4; ++i) {
        press(KeyCode::DownArrow);
    }
    EXPECT_EQ(window.firstResponder(), grid->tile("12"));
    // The last row lies below the 320-point grid until focus scrolls it in.
    const Rect visible = grid->scrollView().documentVisibleRect();
    EXPECT_LE(grid->tile("12")->frame().maxY(), visible.maxY() + 0.001);
    EXPECT_GT(visible.minY(), 0);
}

TEST(MediaAppGridFocusTest, TheKeyboardEntersAtEitherEndAndLeavesPastTheEdges) {
    std::vector<MediaAppTileModel> models;
    for (int i = 0; i < 7; ++i) {
        models.push_back({std::to_string(i), "App", "", nullptr, "app.fill"});
    }
    std::vector<std::string> launched;
    auto grid = std::make_shared<MediaAppGridView>(
        326, models, [&](const std::string& id) { launched.push_back(id); });
    // The menu offers the keyboard to the row's view, which holds the grid.
    auto row = std::make_shared<View>(Rect(0, 0, 326, 260));
    row->addSubview(std::make_shared<View>(Rect(0, 0, 10, 10)));
    row->addSubview(grid);
    Window window(Rect(0, 0, 326, 260), WindowStyleBorderless);
    window.setContentView(row);
    auto press = [&](KeyCode key, unsigned modifiers = ModifierNone) {
        Event event;
        event.type = EventType::KeyDown;
        event.keyCode = key;
        event.modifiers = modifiers;
        return window.sendEvent(event);  // false: the key goes on to the menu
    };
    struct Case {
        const char* name;
        bool forward;  // how the keyboard arrives
        std::vector<KeyCode> walk;
        KeyCode key;
        unsigned modifiers;
        const char* focused;  // none: the focus left the grid and the key was not taken
    } cases[] = {
        {"Tab past the last", false, {}, KeyCode::Tab, ModifierNone, nullptr},
        {"Shift-Tab before the first", true, {}, KeyCode::Tab, ModifierShift, nullptr},
        {"up from the first row", true, {KeyCode::RightArrow}, KeyCode::UpArrow, 0, nullptr},
        {"down from the last row", false, {}, KeyCode::DownArrow, 0, nullptr},
        {"down into a short last row",
         true,
         {KeyCode::Tab, KeyCode::Tab, KeyCode::DownArrow},
         KeyCode::DownArrow,
         0,
         "6"},
        {"right stops at the last", false, {}, KeyCode::RightArrow, 0, "6"},
        {"left stops at the first", true, {}, KeyCode::LeftArrow, 0, "0"},
        {"up a row", false, {KeyCode::LeftArrow}, KeyCode::UpArrow, 0, "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(row->acceptKeyboardEntry(c.forward));
        ASSERT_EQ(window.firstResponder(), grid->tile(c.forward ? "0" : "6"));
        for (KeyCode step : c.walk) {
            ASSERT_TRUE(press(step));
        }
        EXPECT_EQ(press(c.key, c.modifiers), c.focused != nullptr);
        EXPECT_EQ(window.firstResponder(), c.focused ? grid->tile(c.focused) : nullptr);
        window.makeFirstResponder(nullptr);
    }
    // Return and Space launch the focused tile.
    ASSERT_TRUE(row->acceptKeyboardEntry(true));
    press(KeyCode::RightArrow);
    EXPECT_TRUE(press(KeyCode::Return));
    press(KeyCode::RightArrow);
    EXPECT_TRUE(press(KeyCode::Space));
    EXPECT_EQ(launched, (std::vector<std::string>{"1", "2"}));
    // Rows without such a view, and an empty grid, leave the keyboard to the menu.
    EXPECT_FALSE(View(Rect(0, 0, 10, 10)).acceptKeyboardEntry(true));
    auto empty = std::make_shared<MediaAppGridView>(326, std::vector<MediaAppTileModel>{},
                                                    [](const std::string&) {});
    window.setContentView(empty);
    EXPECT_FALSE(empty->acceptKeyboardEntry(true));
}

TEST(MediaAppModeControlTest, RoundedSegmentsAndTheChangeItReports) {
    auto shared = std::make_shared<MediaAppModeControl>(Rect(16, 6, 294, 26));
    MediaAppModeControl& control = *shared;
    EXPECT_EQ(control.label(0), "Remote");
    EXPECT_EQ(control.label(1), "Apps");
    EXPECT_EQ(control.accessibilityLabel(), "Apple TV controls");
    control.setSelectedSegment(1);
    RecordingGraphicsContext context;
    control.draw(context, control.bounds());
    // The track and the selected face are capsules: radius half their height.
    const auto fills = context.ofKind(DrawCall::Kind::Fill);
    ASSERT_GE(fills.size(), 2u);
    for (std::size_t i : {std::size_t{0}, fills.size() > 2 ? std::size_t{2} : std::size_t{1}}) {
        const Path& path = fills[i].path;
        ASSERT_EQ(path.kind(), Path::Kind::RoundedRect);
        EXPECT_DOUBLE_EQ(path.radiusX(), path.rect().height() / 2) << i;
    }
    std::vector<bool> changes;
    control.onChange = [&](bool apps) { changes.push_back(apps); };
    control.setSelectedSegment(0);
    control.sendAction();
    control.setSelectedSegment(1);
    control.sendAction();
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
}

TEST(MediaAppIconsTest, KeysSymbolsAndInlineImages) {
    EXPECT_EQ(mediaAppIconKey(object(R"({"id":"a","iconUrl":"data:image/png;base64,AA=="})")),
              "data:a");
    EXPECT_TRUE(mediaAppIconKey(object(R"({"iconUrl":"data:image/png;base64,AA=="})"))
                    .starts_with("data:"));
    EXPECT_NE(mediaAppIconKey(object(R"({"iconUrl":"data:image/png;base64,AA=="})")), "data:");
    EXPECT_EQ(mediaAppIconKey(object(R"({"id":"a","iconUrl":"http://x/i.png"})")),
              "http://x/i.png");
    EXPECT_EQ(mediaAppIconKey(object(R"({"id":"a","iconUrl":""})")), "a");
    EXPECT_EQ(MediaAppIcons::fallbackSymbol("com.apple.TVSettings", "Other"), "gearshape.fill");
    EXPECT_EQ(MediaAppIcons::fallbackSymbol("x", " FaceTime "), "video.fill");
    EXPECT_EQ(MediaAppIcons::fallbackSymbol("com.apple.tvsettings", "Nope"), "app.fill");
    EXPECT_FALSE(MediaAppIcons::builtInSymbol("com.apple.tvmusic"));
}

TEST(Base64Test, DecodesStandardBase64AndRejectsEverythingElse) {
    using Bytes = std::vector<std::uint8_t>;
    const std::pair<const char*, std::optional<Bytes>> cases[] = {
        {"", Bytes{}},
        {"TWFu", Bytes{'M', 'a', 'n'}},
        {"TWE=", Bytes{'M', 'a'}},
        {"TQ==", Bytes{'M'}},
        {"TWE", Bytes{'M', 'a'}},
        {"+/+/", Bytes{0xfb, 0xff, 0xbf}},
        {"TW\nFu", std::nullopt},
        {"TW Fu", std::nullopt},
        {"TWF-", std::nullopt},
        {"T===", std::nullopt},
        {"TQ=", std::nullopt},
        {"T", std::nullopt},
        {"TQ==TQ==", std::nullopt},
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(decodeBase64(text), bytes) << text;
    }
}

}  // namespace
}  // namespace corvix

// The settings window as the application opens it, and what its choices do to the menu.
#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "app/AppDelegate.h"
#include "platform/testing/HeadlessUiServices.h"
#include "platform/ui/Button.h"
#include "platform/ui/SegmentedControl.h"
#include "settings/CorvixSettingsWindowController.h"
#include "settings/TrayIconStyle.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;
using testing::HeadlessPlatform;

constexpr const char* kHome = R"({"status":true,"data":{
    "rooms":[{"id":"living","name":"Living Room","devices":[]}],
    "programScenes":[{"id":"evening","label":"Evening"}],
    "musicPlayer":{"available":true,"activePlayer":{"id":"kitchen","name":"Kitchen"},
                   "players":[{"id":"kitchen","name":"Kitchen"}]}}})";
constexpr const char* kChoices =
    R"({"data":{"programs":[{"id":"prog-evening","name":"Evening","selected":false}]}})";

Button* findButton(const View& view, std::string_view title) {
    for (const auto& subview : view.subviews()) {
        if (auto* button = dynamic_cast<Button*>(subview.get());
            button && button->title() == title) {
            return button;
        }
        if (Button* found = findButton(*subview, title)) {
            return found;
        }
    }
    return nullptr;
}

SegmentedControl* findSegments(const View& view) {
    for (const auto& subview : view.subviews()) {
        if (auto* control = dynamic_cast<SegmentedControl*>(subview.get())) {
            return control;
        }
        if (SegmentedControl* found = findSegments(*subview)) {
            return found;
        }
    }
    return nullptr;
}

class SettingsAppTest : public ::testing::Test {
  protected:
    SettingsAppTest() {
        PlatformServices services = platformServices();
        ui.installInto(services);
        installPlatformServices(services);
        // The hub answers at once: the state, and the program choices.
        platform.http.responder = [](const HttpRequest& r) -> std::optional<Result<HttpResponse>> {
            if (r.url.ends_with("/state")) {
                return HttpResponse{200, {}, kHome};
            }
            if (r.url.ends_with("/program-choices")) {
                return HttpResponse{200, {}, r.method == "GET" ? kChoices : R"({"status":true})"};
            }
            return std::nullopt;
        };
        delegate = std::make_shared<AppDelegate>();
        ui.application.setDelegate(delegate);
        delegate->applicationDidFinishLaunching();
        platform.loop.runUntilIdle();
    }
    ~SettingsAppTest() override { ui.application.terminate(); }

    std::size_t count(std::string_view method, std::string_view path) const {
        std::size_t n = 0;
        for (const auto& t : platform.http.transfers()) {
            n += t->request.method == method && t->request.url.ends_with(path);
        }
        return n;
    }
    std::int64_t counter(const char* name) const {
        auto counters = RuntimeDiagnostics::menuBar().counters();
        auto it = counters.find(name);
        return it == counters.end() ? 0 : it->second;
    }
    View& panel() const { return *delegate->settingsWindowController()->window()->contentView(); }

    HeadlessPlatform platform;
    HeadlessUiServices ui;
    std::shared_ptr<AppDelegate> delegate;
};

TEST_F(SettingsAppTest, OpeningTwiceShowsOneWindowAndReloadsItsChoices) {
    EXPECT_FALSE(delegate->settingsWindowController());
    delegate->openSettings();
    platform.loop.runUntilIdle();
    auto* controller = delegate->settingsWindowController();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_TRUE(controller->window()->isKeyWindow());
    EXPECT_EQ(count("GET", "/program-choices"), 1u);
    EXPECT_EQ(ui.application.activations, 1);

    controller->window()->performClose();
    delegate->openSettings();
    platform.loop.runUntilIdle();
    EXPECT_EQ(delegate->settingsWindowController(), controller);
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_EQ(count("GET", "/program-choices"), 2u);
    EXPECT_EQ(ui.application.activations, 2);
}

TEST_F(SettingsAppTest, ASavedChoiceRefreshesTheMenu) {
    delegate->openSettings();
    platform.loop.runUntilIdle();
    const auto fetches = count("GET", "/state");
    // The one program's box is the only check box without a title.
    Button* box = findButton(panel(), "");
    ASSERT_TRUE(box);
    box->performClick();
    platform.loop.runUntilIdle();
    EXPECT_EQ(count("POST", "/program-choices"), 1u);
    EXPECT_EQ(
        delegate->settingsWindowController()->settingsViewController().statusLabel()->stringValue(),
        "Saved to Corvix.");
    platform.loop.advance(20s);  // the closed menu spaces its fetches
    EXPECT_EQ(count("GET", "/state"), fetches + 1);
}

TEST_F(SettingsAppTest, SwitchingSectionsOffRebuildsTheMenuWithoutThem) {
    ASSERT_TRUE(testing::itemTitled(*delegate->menu(), "Scenes"));
    ASSERT_TRUE(delegate->builder()->activeMusicPlayer.has_value());
    const auto rebuilds = counter("refresh_structural_rebuild");
    const auto requests = platform.http.transfers().size();

    delegate->openSettings();
    platform.loop.runUntilIdle();
    const auto afterOpen = platform.http.transfers().size();
    EXPECT_EQ(afterOpen, requests + 1);  // the choices only
    findButton(panel(), "Music Player")->performClick();
    findButton(panel(), "Scenes")->performClick();
    EXPECT_EQ(platform.defaults.boolean(corvixSectionMusicPlayerKey), std::optional<bool>(false));
    EXPECT_EQ(platform.defaults.boolean(corvixSectionScenesKey), std::optional<bool>(false));
    EXPECT_FALSE(delegate->lastStructureSignature().has_value());
    EXPECT_EQ(platform.http.transfers().size(), afterOpen) << "nothing goes to the hub at once";

    platform.loop.advance(20s);
    // The same state, rebuilt all the same with the sections as chosen.
    EXPECT_EQ(count("GET", "/state"), 2u);
    EXPECT_EQ(counter("refresh_structural_rebuild"), rebuilds + 1);
    EXPECT_FALSE(testing::itemTitled(*delegate->menu(), "Scenes"));
    EXPECT_FALSE(delegate->builder()->activeMusicPlayer.has_value());
    EXPECT_EQ(count("POST", "/program-choices"), 0u);
}

TEST_F(SettingsAppTest, TheTrayIconChoiceIsStoredAndRecoloursTheIconAtOnce) {
    const auto& item = ui.statusBar.items.at(0);
    EXPECT_EQ(item->iconStyle(), StatusItemIconStyle::Automatic) << "never chosen: automatic";

    delegate->openSettings();
    platform.loop.runUntilIdle();
    SegmentedControl* choice = findSegments(panel());
    ASSERT_NE(choice, nullptr);
    ASSERT_EQ(choice->segmentCount(), 3);
    EXPECT_EQ(choice->label(0), "Automatic");
    EXPECT_EQ(choice->label(1), "Light");
    EXPECT_EQ(choice->label(2), "Dark");
    EXPECT_EQ(choice->selectedSegment(), 0);

    choice->setSelectedSegment(2);
    choice->sendAction();
    EXPECT_EQ(platform.defaults.value(corvixTrayIconKey), std::optional<json::value>("dark"));
    EXPECT_EQ(item->iconStyle(), StatusItemIconStyle::Dark) << "without waiting for a refresh";
    choice->setSelectedSegment(1);
    choice->sendAction();
    EXPECT_EQ(item->iconStyle(), StatusItemIconStyle::Light);

    // The next start reads the stored choice; a word it does not know is automatic.
    EXPECT_EQ(corvixTrayIconStyle(platform.defaults), StatusItemIconStyle::Light);
    platform.defaults.setValue(corvixTrayIconKey, json::value("sepia"));
    EXPECT_EQ(corvixTrayIconStyle(platform.defaults), StatusItemIconStyle::Automatic);
    platform.defaults.setValue(corvixTrayIconKey, json::value(true));
    EXPECT_EQ(corvixTrayIconStyle(platform.defaults), StatusItemIconStyle::Automatic);
}

}  // namespace
}  // namespace corvix

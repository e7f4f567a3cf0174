// The settings panel with the real curl client against the hub simulator's program choices.
#include <gtest/gtest.h>

#include <filesystem>

#include "../unit/MenuTestSupport.h"
#include "HubsimTestSupport.h"
#include "app/AppDelegate.h"
#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"
#include "platform/PlatformServices.h"
#include "platform/ThreadRunLoop.h"
#include "platform/UserDefaults.h"
#include "platform/curl/CurlHttpClient.h"
#include "platform/testing/HeadlessUiServices.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/StackView.h"
#include "settings/CorvixSettingsViewController.h"
#include "settings/CorvixSettingsWindowController.h"

namespace corvix {
namespace {

using namespace std::chrono_literals;

constexpr const char* kToken = "settings-hubsim-token";

class SettingsAgainstHubsimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hubsim::ServerOptions options;
        options.token = kToken;
        hub = std::make_unique<hubsim::Server>(options);
        ASSERT_TRUE(hub->start()) << hub->lastError();
        dir = testing::pointAtHub(*hub, kToken, "corvix-settings-hubsim", environment);
        previous = platformServices();
        PlatformServices services;
        services.runLoop = &loop;
        services.http = http.get();
        services.defaults = &defaults;
        services.environment = &environment;
        installPlatformServices(services);
        client = std::make_unique<OrbeluneClient>(environment, *http, loop);
        panel = std::make_unique<CorvixSettingsViewController>(
            *client, [this] { ++saves; }, nullptr);
        panel->view();
    }
    void TearDown() override {
        panel.reset();
        client.reset();
        http.reset();
        hub->stop();
        installPlatformServices(previous);
        std::filesystem::remove_all(dir);
    }

    void load() {
        panel->refresh();
        ASSERT_TRUE(loop.runUntil([&] { return !panel->isLoading(); }, 10s));
    }
    const View& list() const {
        auto& scroll = dynamic_cast<ScrollView&>(*panel->view()->subviews().at(0));
        auto& stack = dynamic_cast<StackView&>(*scroll.documentView()->subviews().at(0));
        return *stack.arrangedSubviews().at(4);  // below the toggles, the tray icon and a line
    }
    std::vector<Button*> boxes() const {
        std::vector<Button*> out;
        for (const auto& v : list().subviews()) {
            if (auto* b = dynamic_cast<Button*>(v.get())) {
                out.push_back(b);
            }
        }
        return out;
    }
    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const auto& v : list().subviews()) {
            if (auto* t = dynamic_cast<TextField*>(v.get())) {
                out.push_back(t->stringValue());
            }
        }
        return out;
    }
    /// The ids the simulator now counts as chosen.
    std::set<std::string> hubSelection() {
        std::set<std::string> ids;
        hub->inspect([&](hubsim::HomeModel& model) {
            for (const auto& choice : model.programChoices()) {
                const auto& record = choice.as_object();
                if (record.at("selected").as_bool()) {
                    ids.insert(std::string(record.at("id").as_string()));
                }
            }
        });
        return ids;
    }

    ThreadRunLoop loop;
    std::unique_ptr<CurlHttpClient> http = std::make_unique<CurlHttpClient>(loop);
    InMemoryUserDefaults defaults;
    MapEnvironment environment;
    std::unique_ptr<hubsim::Server> hub;
    std::filesystem::path dir;
    PlatformServices previous;
    std::unique_ptr<OrbeluneClient> client;
    std::unique_ptr<CorvixSettingsViewController> panel;
    int saves = 0;
};

TEST_F(SettingsAgainstHubsimTest, TheTenChoicesAreListedWithTheirFramesAndStates) {
    load();
    const auto rows = boxes();
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(list().frame().height(), 44 * 10 + 6);
    EXPECT_EQ(list().superview()->frame().height(), 82 + 194 + 40 + 1 + 446 + 54);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]->frame(), Rect(22, 44.0 * double(9 - i) + 11, 24, 24));
    }
    const auto texts = labels();
    EXPECT_EQ(texts[0], "Movie Night");
    EXPECT_EQ(texts[1], "AV Flow");
    EXPECT_EQ(texts[8], "Good Night");
    EXPECT_EQ(texts[9], "Scene • Scene Builder");
    EXPECT_EQ(rows[0]->state(), ControlState::On);
    EXPECT_EQ(rows[8]->state(), ControlState::Off);  // Vacation Lights is not chosen
    // The disabled script is off, cannot be ticked and says why.
    EXPECT_EQ(texts[18], "Broken Script");
    EXPECT_EQ(texts[19], "Disabled");
    EXPECT_EQ(rows[9]->state(), ControlState::Off);
    EXPECT_FALSE(rows[9]->isEnabled());
    EXPECT_EQ(rows[9]->toolTip(), "Disabled automations cannot be shown.");
}

TEST_F(SettingsAgainstHubsimTest, QuickClicksReachTheHubInOrderAndTheLastSelectionWins) {
    load();
    hub->clearRequests();
    boxes()[8]->performClick();  // Vacation Lights on
    boxes()[0]->performClick();  // Movie Night off, while the first save is on its way
    ASSERT_TRUE(loop.runUntil(
        [&] { return panel->statusLabel()->stringValue() == "Saved to Corvix."; }, 10s));
    std::vector<std::string> bodies;
    for (const auto& request : hub->requests()) {
        if (request.method == "POST") {
            bodies.push_back(request.body);
        }
    }
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[0].find("prog-movie-night"), std::string::npos);
    EXPECT_EQ(bodies[1].find("prog-movie-night"), std::string::npos);
    EXPECT_NE(bodies[1].find("prog-vacation"), std::string::npos);
    const auto chosen = hubSelection();
    EXPECT_TRUE(chosen.count("prog-vacation"));
    EXPECT_FALSE(chosen.count("prog-movie-night"));
    EXPECT_EQ(saves, 2);

    // What the hub now holds is what the panel shows after a reload.
    load();
    EXPECT_EQ(boxes()[8]->state(), ControlState::On);
    EXPECT_EQ(boxes()[0]->state(), ControlState::Off);
}

TEST_F(SettingsAgainstHubsimTest, AFailingHubGivesTheRedStatusThenTheLoadFailure) {
    load();
    hubsim::Faults faults;
    faults.failRate = 1;
    hub->setFaults(faults);
    boxes()[8]->performClick();
    ASSERT_TRUE(loop.runUntil([&] { return !panel->isSaving(); }, 10s));
    ASSERT_TRUE(loop.runUntil([&] { return !panel->isLoading(); }, 10s));
    // The failed reload is fresh content: its footer is the plain one again.
    EXPECT_EQ(panel->statusLabel()->stringValue(), "Selections save automatically.");
    EXPECT_EQ(panel->statusLabel()->textColor(), Color::system(SystemColor::SecondaryLabel));
    auto& scroll = dynamic_cast<ScrollView&>(*panel->view()->subviews().at(0));
    auto& stack = dynamic_cast<StackView&>(*scroll.documentView()->subviews().at(0));
    auto* title = dynamic_cast<TextField*>(stack.arrangedSubviews().at(4)->subviews().at(0).get());
    ASSERT_TRUE(title);
    EXPECT_EQ(title->stringValue(), "Unable to load Corvix automations");
    EXPECT_FALSE(hubSelection().count("prog-vacation"));
}

/// The whole program against the simulator: the settings opened from the menu's footer.
class SettingsFromTheMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hubsim::ServerOptions options;
        options.token = kToken;
        hub = std::make_unique<hubsim::Server>(options);
        ASSERT_TRUE(hub->start()) << hub->lastError();
        dir = testing::pointAtHub(*hub, kToken, "corvix-settings-menu", environment);
        previous = platformServices();
        PlatformServices services;
        services.runLoop = &loop;
        services.http = http.get();
        services.defaults = &defaults;
        services.environment = &environment;
        ui.installInto(services);
        installPlatformServices(services);
        RuntimeDiagnostics::resetMenuBar();
        delegate = std::make_shared<AppDelegate>();
        ui.application.setDelegate(delegate);
        delegate->applicationDidFinishLaunching();
    }
    void TearDown() override {
        if (delegate) {
            ui.application.terminate();
            delegate.reset();
        }
        http.reset();
        hub->stop();
        RuntimeDiagnostics::resetMenuBar();
        installPlatformServices(previous);
        std::filesystem::remove_all(dir);
    }

    /// The titles in the "Scenes" submenu, empty without one.
    std::vector<std::string> sceneTitles() const {
        std::vector<std::string> titles;
        if (MenuItem* scenes = testing::itemTitled(*delegate->menu(), "Scenes")) {
            for (const auto& item : scenes->submenu()->itemArray()) {
                titles.push_back(item->title());
            }
        }
        return titles;
    }
    bool scenesListed(const std::string& title) const {
        const auto titles = sceneTitles();
        return std::find(titles.begin(), titles.end(), title) != titles.end();
    }

    ThreadRunLoop loop;
    std::unique_ptr<CurlHttpClient> http = std::make_unique<CurlHttpClient>(loop);
    InMemoryUserDefaults defaults;
    MapEnvironment environment;
    HeadlessUiServices ui;
    std::unique_ptr<hubsim::Server> hub;
    std::filesystem::path dir;
    PlatformServices previous;
    std::shared_ptr<AppDelegate> delegate;
};

TEST_F(SettingsFromTheMenuTest, AnAutomationLeftOutInTheSettingsLeavesTheMenu) {
    ASSERT_TRUE(loop.runUntil([&] { return scenesListed("Good Night"); }, 10s));
    delegate->menuWillOpen(*delegate->menu());
    MenuItem* settingsRow = testing::itemTitled(*delegate->menu(), "Settings...");
    ASSERT_TRUE(settingsRow && settingsRow->view());
    testing::clickView(settingsRow->view());
    auto* controller = delegate->settingsWindowController();
    ASSERT_TRUE(controller);
    EXPECT_TRUE(controller->window()->isVisible());
    auto& panel = controller->settingsViewController();
    ASSERT_TRUE(
        loop.runUntil([&] { return !panel.isLoading() && !panel.programs().empty(); }, 10s));

    Button* goodNight = nullptr;
    std::vector<View*> pending{panel.view().get()};
    while (!pending.empty() && !goodNight) {
        View* v = pending.back();
        pending.pop_back();
        if (auto* b = dynamic_cast<Button*>(v); b && b->accessibilityLabel() == "Good Night") {
            goodNight = b;
        }
        for (const auto& sub : v->subviews()) {
            pending.push_back(sub.get());
        }
    }
    ASSERT_TRUE(goodNight);
    ASSERT_EQ(goodNight->state(), ControlState::On);
    goodNight->performClick();
    ASSERT_TRUE(loop.runUntil(
        [&] { return panel.statusLabel()->stringValue() == "Saved to Corvix."; }, 10s));
    EXPECT_TRUE(loop.runUntil([&] { return !scenesListed("Good Night"); }, 10s))
        << ::testing::PrintToString(sceneTitles());
    EXPECT_TRUE(scenesListed("Welcome Home"));
    EXPECT_TRUE(ui.alerts.shown.empty());
}

}  // namespace
}  // namespace corvix

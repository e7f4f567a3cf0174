// The settings panel on the headless platform against the fake HTTP client.
#include <gtest/gtest.h>

#include "HubTestSupport.h"
#include "platform/testing/HeadlessUi.h"
#include "platform/ui/Box.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/StackView.h"
#include "settings/CorvixSettingsViewController.h"
#include "settings/CorvixSettingsWindowController.h"

namespace corvix {
namespace {

using testing::HeadlessPlatform;
using Transfer = FakeHttpClient::Transfer;

/// Every view of type `T` under `view`, depth first in subview order.
template <typename T>
void collect(const View& view, std::vector<T*>& out) {
    for (const auto& subview : view.subviews()) {
        if (auto* found = dynamic_cast<T*>(subview.get())) {
            out.push_back(found);
        }
        collect(*subview, out);
    }
}

template <typename T>
std::vector<T*> all(const View& view) {
    std::vector<T*> out;
    collect(view, out);
    return out;
}

std::vector<std::string> texts(const View& view) {
    std::vector<std::string> out;
    for (auto* field : all<TextField>(view)) {
        out.push_back(field->stringValue());
    }
    return out;
}

constexpr const char* kChoices = R"({"status":true,"data":{"programs":[
    {"id":"prog-movie","name":"Movie Night","selected":true,"builderType":"AV-Flow"},
    {"id":"prog-manual","name":"Reading","selected":"Yes","builderLabel":"Manual"},
    {"id":"prog-plain","selected":"no","programBuilderType":"scene"},
    {"id":"prog-broken","name":"Broken","selected":true,"enabled":false,"builderLabel":"Script"},
    {"id":"","name":"Nameless","selected":true},
    {"id":7,"name":"Numbered"}]}})";

class SettingsPanelTest : public ::testing::Test {
  protected:
    SettingsPanelTest() {
        PlatformServices services = platformServices();
        services.screens = &screens;
        installPlatformServices(services);
    }

    void open(const char* answer = nullptr) {
        panel = std::make_unique<CorvixSettingsViewController>(
            *client, [this] { ++saves; }, [this] { ++toggleChanges; });
        panel->view();
        panel->refresh();
        platform.loop.runUntilIdle();
        if (answer) {
            answerLoad(answer);
        }
    }

    std::vector<std::shared_ptr<Transfer>> requests(const char* method) const {
        std::vector<std::shared_ptr<Transfer>> out;
        for (const auto& t : platform.http.transfers()) {
            if (t->request.method == method && t->request.url.ends_with("/program-choices")) {
                out.push_back(t);
            }
        }
        return out;
    }

    void answer(const char* method, int status, const std::string& body) {
        auto list = requests(method);
        ASSERT_FALSE(list.empty());
        ASSERT_FALSE(list.back()->finished) << method << " is not waiting";
        platform.http.respond(list.back(), status, body);
        platform.loop.runUntilIdle();
    }
    void answerLoad(const std::string& body, int status = 200) { answer("GET", status, body); }
    void answerSave(const std::string& body = R"({"status":true})") { answer("POST", 200, body); }

    const View& root() const { return *panel->view(); }
    StackView& stack() const {
        auto* scroll = dynamic_cast<ScrollView*>(root().subviews().at(0).get());
        EXPECT_TRUE(scroll);
        return dynamic_cast<StackView&>(*scroll->documentView()->subviews().at(0));
    }
    const View& document() const { return *stack().superview(); }
    /// The stack's views, by their height: header 82, toggles 194, tray icon 40, separator 1, ...
    std::vector<double> stackHeights() const {
        std::vector<double> heights;
        for (const auto& v : stack().arrangedSubviews()) {
            heights.push_back(v->frame().height());
        }
        return heights;
    }
    const View& listView() const { return *stack().arrangedSubviews().at(4); }
    std::vector<Button*> listBoxes() const { return all<Button>(listView()); }
    Button* button(std::string_view title) const {
        for (auto* b : all<Button>(root())) {
            if (b->title() == title) {
                return b;
            }
        }
        return nullptr;
    }
    std::string bodyOf(const std::shared_ptr<Transfer>& t) const {
        return t->request.body.value_or("");
    }
    std::string status() const { return panel->statusLabel()->stringValue(); }

    HeadlessPlatform platform;
    HeadlessScreens screens;
    std::unique_ptr<OrbeluneClient> client = platform.makeClient();
    std::unique_ptr<CorvixSettingsViewController> panel;
    int saves = 0;
    int toggleChanges = 0;
};

TEST_F(SettingsPanelTest, LoadingThenTheListWithItsRowsFramesAndSubtitles) {
    open();
    EXPECT_EQ(texts(listView()).at(0), "Loading Corvix automations...");
    ASSERT_EQ(requests("GET").size(), 1u);
    answerLoad(kChoices);

    // Header, toggles, the tray icon's choice, separator, six rows, footer.
    EXPECT_EQ(stackHeights(), (std::vector<double>{82, 194, 40, 1, 44 * 6 + 6, 54}));
    EXPECT_EQ(stack().frame(), Rect(0, 0, 360, 641));
    EXPECT_EQ(document().frame().height(), 641);
    EXPECT_TRUE(document().isFlipped());
    EXPECT_EQ(listView().frame(), Rect(0, 54, 360, 270));  // above the footer

    struct Row {
        const char* title;
        const char* subtitle;
        bool on;
        bool enabled;
        const char* toolTip;
    };
    const Row rows[] = {
        {"Movie Night", "AV Flow", true, true, ""},
        {"Reading", "Scene • Manual", true, true, ""},
        {"prog-plain", "Scene", false, true, ""},
        {"Broken", "Disabled", true, false, "Disabled automations cannot be shown."},
        {"Nameless", "Scene", false, false, ""},  // no id: nothing it could save
        {"Numbered", "Scene", false, true, ""},
    };
    const auto boxes = listBoxes();
    const auto labels = all<TextField>(listView());
    ASSERT_EQ(boxes.size(), 6u);
    ASSERT_EQ(labels.size(), 12u);
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(rows[i].title);
        const double t = 44.0 * double(5 - i);
        EXPECT_EQ(boxes[i]->frame(), Rect(22, t + 11, 24, 24));
        EXPECT_EQ(boxes[i]->state() == ControlState::On, rows[i].on);
        EXPECT_EQ(boxes[i]->isEnabled(), rows[i].enabled);
        EXPECT_EQ(boxes[i]->toolTip(), rows[i].toolTip);
        EXPECT_EQ(labels[2 * i]->stringValue(), rows[i].title);
        EXPECT_EQ(labels[2 * i]->frame(), Rect(54, t + 21, 272, 18));
        EXPECT_EQ(labels[2 * i]->font(), Font::system(14, FontWeight::Medium));
        EXPECT_EQ(
            labels[2 * i]->textColor(),
            Color::system(rows[i].enabled ? SystemColor::Label : SystemColor::SecondaryLabel));
        EXPECT_EQ(labels[2 * i + 1]->stringValue(), rows[i].subtitle);
        EXPECT_EQ(labels[2 * i + 1]->frame(), Rect(54, t + 6, 272, 14));
    }
    EXPECT_EQ(panel->selectedProgramIds(),
              (std::set<std::string, std::less<>>{"prog-broken", "prog-manual", "prog-movie"}));
    EXPECT_EQ(status(), "Selections save automatically.");
}

TEST_F(SettingsPanelTest, NoProgramsShowTheTogglesAndTheEmptyMessage) {
    open(R"({"data":{"programs":[]}})");
    EXPECT_EQ(stackHeights(), (std::vector<double>{82, 194, 40, 1, 118, 54}));
    // The content is a little taller than the panel: the document holds all of it.
    EXPECT_EQ(document().frame().height(), 489);
    const auto message = texts(*stack().arrangedSubviews()[4]);
    EXPECT_EQ(message, (std::vector<std::string>{
                           "No Corvix automations",
                           "Create AV flows or scenes in Orbelune OS, then choose what appears "
                           "in Corvix."}));
    EXPECT_EQ(all<TextField>(*stack().arrangedSubviews()[4])[0]->frame(), Rect(28, 70, 304, 20));
    EXPECT_TRUE(button("Music Player"));
}

TEST_F(SettingsPanelTest, CheckingABoxSavesTheSortedSelectionAndTellsTheOwner) {
    open(kChoices);
    listBoxes()[2]->performClick();  // prog-plain on
    EXPECT_EQ(status(), "Saving...");
    ASSERT_EQ(requests("POST").size(), 1u);
    EXPECT_EQ(bodyOf(requests("POST")[0]),
              R"({"programIds":["prog-broken","prog-manual","prog-movie","prog-plain"]})");
    answerSave();
    EXPECT_EQ(status(), "Saved to Corvix.");
    EXPECT_EQ(panel->statusLabel()->textColor(), Color::system(SystemColor::SecondaryLabel));
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(requests("GET").size(), 1u);  // nothing reloaded after a save the hub took

    // Unchecking everything that can be unchecked leaves the disabled one the hub holds.
    for (int i : {0, 1, 2}) {
        listBoxes()[i]->performClick();
        answerSave();
    }
    EXPECT_EQ(bodyOf(requests("POST").back()), R"({"programIds":["prog-broken"]})");
}

TEST_F(SettingsPanelTest, ABoxWithoutAnIdSendsNothing) {
    open(kChoices);
    Button* nameless = listBoxes()[4];
    nameless->performClick();
    EXPECT_EQ(nameless->state(), ControlState::Off);
    EXPECT_TRUE(requests("POST").empty());
    EXPECT_EQ(status(), "Selections save automatically.");
}

TEST_F(SettingsPanelTest, AFailedSaveIsShownInRedAndTheReloadShowsWhatTheHubHolds) {
    open(kChoices);
    listBoxes()[2]->performClick();
    answerSave(R"({"status":false,"message":"Hub is busy"})");
    EXPECT_EQ(saves, 0);
    ASSERT_EQ(requests("GET").size(), 2u);
    EXPECT_EQ(status(), "Save failed. Reloading choices.");
    EXPECT_EQ(panel->statusLabel()->textColor(), Color::system(SystemColor::Red));
    // The note stays while the choices reload, and goes with the reload that finished.
    EXPECT_EQ(texts(*stack().arrangedSubviews()[4]).at(0), "Loading Corvix automations...");
    EXPECT_EQ(status(), "Save failed. Reloading choices.");
    answerLoad(kChoices);
    EXPECT_EQ(listBoxes()[2]->state(), ControlState::Off);  // the hub never took it
    EXPECT_EQ(status(), "Selections save automatically.");
    EXPECT_EQ(panel->statusLabel()->textColor(), Color::system(SystemColor::SecondaryLabel));
    listBoxes()[2]->performClick();
    EXPECT_EQ(status(), "Saving...");
}

TEST_F(SettingsPanelTest, RefreshDuringASaveShowsLoadingAtOnceAndLoadsAfterTheSave) {
    open(kChoices);
    listBoxes()[2]->performClick();
    button("Refresh")->performClick();
    platform.loop.runUntilIdle();
    EXPECT_EQ(texts(*stack().arrangedSubviews()[4]).at(0), "Loading Corvix automations...");
    EXPECT_EQ(status(), "Saving...");
    EXPECT_EQ(requests("GET").size(), 1u) << "no load while the save is in flight";
    // Pressed again meanwhile: still one load, after the save.
    button("Refresh")->performClick();
    platform.loop.runUntilIdle();
    EXPECT_EQ(requests("GET").size(), 1u);
    answerSave(R"({"status":false,"message":"Hub is busy"})");
    ASSERT_EQ(requests("GET").size(), 2u);
    EXPECT_EQ(status(), "Save failed. Reloading choices.");
    answerLoad(kChoices);
    EXPECT_EQ(listBoxes().size(), 6u);
    EXPECT_EQ(status(), "Selections save automatically.");
    // A load that fails ends the note as well.
    listBoxes()[2]->performClick();
    answerSave(R"({"status":false,"message":"Hub is busy"})");
    answerLoad(R"({"status":false,"message":"Programs are unavailable"})");
    EXPECT_EQ(texts(*stack().arrangedSubviews()[4]).at(0), "Unable to load Corvix automations");
    EXPECT_EQ(status(), "Selections save automatically.");
}

TEST_F(SettingsPanelTest, ALoadFailureShowsItsDescriptionAndRefreshRetries) {
    open();
    answerLoad(R"({"status":false,"message":"Programs are unavailable"})");
    const auto message = texts(*stack().arrangedSubviews()[4]);
    EXPECT_EQ(message, (std::vector<std::string>{"Unable to load Corvix automations",
                                                 "Programs are unavailable"}));
    button("Refresh")->performClick();
    platform.loop.runUntilIdle();
    EXPECT_EQ(texts(*stack().arrangedSubviews()[4]).at(0), "Loading Corvix automations...");
    answerLoad(kChoices);
    EXPECT_EQ(listBoxes().size(), 6u);
}

TEST_F(SettingsPanelTest, QuickClicksSaveInOrderEachWithTheLatestSelection) {
    open(kChoices);
    listBoxes()[2]->performClick();  // prog-plain on
    listBoxes()[5]->performClick();  // 7 on
    listBoxes()[0]->performClick();  // prog-movie off
    ASSERT_EQ(requests("POST").size(), 1u) << "one save at a time";
    panel->refresh();  // the window opened again meanwhile
    EXPECT_EQ(texts(*stack().arrangedSubviews()[4]).at(0), "Loading Corvix automations...");
    answerSave();
    ASSERT_EQ(requests("POST").size(), 2u);
    EXPECT_EQ(bodyOf(requests("POST")[1]),
              R"({"programIds":["7","prog-broken","prog-manual","prog-plain"]})");
    EXPECT_EQ(status(), "Saving...");
    EXPECT_EQ(requests("GET").size(), 1u) << "no reload while a save is in flight";
    answerSave();
    EXPECT_EQ(saves, 2);
    // The reload asked for during the saves comes now, after the hub has the latest selection.
    ASSERT_EQ(requests("GET").size(), 2u);
    answerLoad(kChoices);
    EXPECT_EQ(listBoxes().size(), 6u);
    EXPECT_EQ(status(), "Selections save automatically.");
}

TEST_F(SettingsPanelTest, AFailedSaveWithANewerSelectionQueuedLetsTheNewerOneDecide) {
    open(kChoices);
    listBoxes()[2]->performClick();
    listBoxes()[5]->performClick();
    answerSave(R"({"status":false,"message":"Hub is busy"})");
    ASSERT_EQ(requests("POST").size(), 2u);
    EXPECT_EQ(requests("GET").size(), 1u);
    answerSave();
    EXPECT_EQ(status(), "Saved to Corvix.");
    EXPECT_EQ(listBoxes()[2]->state(), ControlState::On);
    EXPECT_EQ(listBoxes()[5]->state(), ControlState::On);
}

TEST_F(SettingsPanelTest, ReopeningWhileALoadIsPendingShowsNoFailure) {
    open();
    panel->refresh();
    platform.loop.runUntilIdle();
    ASSERT_EQ(requests("GET").size(), 2u);
    EXPECT_TRUE(requests("GET")[0]->finished);  // cancelled
    EXPECT_EQ(texts(*stack().arrangedSubviews()[4]).at(0), "Loading Corvix automations...");
    answerLoad(kChoices);
    EXPECT_EQ(listBoxes().size(), 6u);
}

TEST_F(SettingsPanelTest, SectionTogglesAreLocalAndWorkWithoutTheHub) {
    platform.defaults.setBoolean(corvixSectionScenesKey, false);
    open();
    answerLoad("", 503);  // the hub is away
    const char* titles[] = {"Apple TV", "Scenes", "AV Flows", "Music Player", "Notch Player"};
    for (int i = 0; i < 5; ++i) {
        Button* box = button(titles[i]);
        ASSERT_TRUE(box) << titles[i];
        EXPECT_EQ(box->frame(), Rect(22, 148 - 30 * i, 316, 22));
        EXPECT_EQ(box->state() == ControlState::On, i != 1) << titles[i];
    }
    const auto before = platform.http.transfers().size();
    button("Music Player")->performClick();
    EXPECT_EQ(platform.defaults.boolean(corvixSectionMusicPlayerKey), std::optional<bool>(false));
    button("Scenes")->performClick();
    EXPECT_EQ(platform.defaults.boolean(corvixSectionScenesKey), std::optional<bool>(true));
    EXPECT_EQ(toggleChanges, 2);
    EXPECT_EQ(platform.http.transfers().size(), before);
}

TEST(SettingsWindowTest, OneFixedWindowCentredAtFirstShowThatDoneHides) {
    HeadlessPlatform platform;
    HeadlessScreens screens;
    PlatformServices services = platformServices();
    services.screens = &screens;
    installPlatformServices(services);
    auto client = platform.makeClient();
    CorvixSettingsWindowController controller(*client, nullptr, nullptr);
    Window& window = *controller.window();
    EXPECT_EQ(window.title(), "Corvix Settings");
    EXPECT_EQ(window.style(),
              unsigned(WindowStyleTitled | WindowStyleClosable | WindowStyleMiniaturizable));
    EXPECT_EQ(window.contentView(), controller.settingsViewController().view());

    controller.showWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isKeyWindow());
    // The headless screen's visible area is 1440 × 876.
    EXPECT_EQ(window.frame(), Rect(540, 198, 360, 480));

    for (auto* b : all<Button>(*window.contentView())) {
        if (b->title() == "Done") {
            b->performClick();
        }
    }
    EXPECT_FALSE(window.isVisible());
    window.setFrame({10, 20, 360, 480});  // moved by the user
    controller.showWindow();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.frame(), Rect(10, 20, 360, 480));
}

}  // namespace
}  // namespace corvix

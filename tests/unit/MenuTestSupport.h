#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "HubTestSupport.h"
#include "menu/MenuBuilder.h"
#include "menu/StayOpenMenu.h"
#include "platform/testing/HeadlessUi.h"
#include "platform/testing/RecordingAlertPresenter.h"
#include "platform/ui/EventRouter.h"
#include "platform/ui/TextField.h"

namespace corvix::testing {

/// A state document from tests/fixtures/state.
inline std::shared_ptr<const JsonObject> loadStateFixture(const std::string& name) {
    std::ifstream in(std::string(CORVIX_FIXTURES_DIR) + "/state/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = parseJson(text.str());
    if (!parsed.ok() || !parsed.value().is_object()) {
        ADD_FAILURE() << "fixture " << name << " is not a JSON object";
        return std::make_shared<const JsonObject>();
    }
    return std::make_shared<const JsonObject>(parsed.value().get_object());
}

inline std::shared_ptr<const JsonObject> stateFromText(std::string_view text) {
    auto parsed = parseJson(text);
    if (!parsed.ok() || !parsed.value().is_object()) {
        ADD_FAILURE() << "not a JSON object: " << text;
        return std::make_shared<const JsonObject>();
    }
    return std::make_shared<const JsonObject>(parsed.value().get_object());
}

/// One line per item: "---" for a separator, else the title, with " (disabled)" when disabled
/// and " >" when it has a submenu.
inline std::vector<std::string> outline(const Menu& menu) {
    std::vector<std::string> lines;
    for (const auto& item : menu.itemArray()) {
        if (item->isSeparatorItem()) {
            lines.push_back("---");
            continue;
        }
        std::string line = item->title();
        if (!item->isEnabled()) {
            line += " (disabled)";
        }
        if (item->hasSubmenu()) {
            line += " >";
        }
        lines.push_back(line);
    }
    return lines;
}

/// The texts of a row's labels, in the order they were added.
inline std::vector<std::string> labelTexts(const View& view) {
    std::vector<std::string> texts;
    for (const auto& subview : view.subviews()) {
        if (auto* field = dynamic_cast<const TextField*>(subview.get())) {
            texts.push_back(field->stringValue());
        }
    }
    return texts;
}

/// The first direct subview of type `T`.
template <typename T>
T* findSubview(const View& view) {
    for (const auto& subview : view.subviews()) {
        if (auto* found = dynamic_cast<T*>(subview.get())) {
            return found;
        }
    }
    return nullptr;
}

/// The item titled `title`, or null.
inline MenuItem* itemTitled(const Menu& menu, std::string_view title) {
    for (const auto& item : menu.itemArray()) {
        if (!item->isSeparatorItem() && item->title() == title) {
            return item.get();
        }
    }
    return nullptr;
}

/// Clicks the middle of a view as the pointer would: press and release through an event router.
inline void clickView(const std::shared_ptr<View>& view, Point inView = {-1, -1}) {
    EventRouter router;
    router.setRoot(view);
    const Rect frame = view->frame();
    Point p =
        inView.x < 0 ? frame.center() : Point{frame.minX() + inView.x, frame.minY() + inView.y};
    EventDriver(router).click(p);
}

/// The headless platform with alerts and screens, a root stay-open menu and a builder whose
/// four callbacks count their calls.
class MenuHarness {
  public:
    MenuHarness() {
        PlatformServices services = platformServices();
        services.alerts = &alerts;
        services.screens = &screens;
        installPlatformServices(services);
        client = platform.makeClient();
        builder = std::make_unique<MenuBuilder>(
            MenuBuilder::kRowWidth, root, *client, sends, [this] { ++dashboardOpened; },
            [this] { ++settingsOpened; }, [this] { ++refreshes; }, [this] { ++quits; });
    }

    void build(const std::string& fixture) { builder->build(*root, loadStateFixture(fixture)); }
    std::vector<std::string> lines() const { return outline(*root); }
    /// The submenu of the top-level row titled `title`.
    StayOpenMenu* submenu(std::string_view title) const {
        MenuItem* item = itemTitled(*root, title);
        return item ? dynamic_cast<StayOpenMenu*>(item->submenu().get()) : nullptr;
    }

    HeadlessPlatform platform;
    RecordingAlertPresenter alerts;
    HeadlessScreens screens;
    std::unique_ptr<OrbeluneClient> client;
    /// The application's ordered sends; a test hands them to a notch or media controls too.
    OrderedSends sends;
    std::shared_ptr<StayOpenMenu> root = StayOpenMenu::make();
    int dashboardOpened = 0;
    int settingsOpened = 0;
    int refreshes = 0;
    int quits = 0;
    std::unique_ptr<MenuBuilder> builder;
};

}  // namespace corvix::testing

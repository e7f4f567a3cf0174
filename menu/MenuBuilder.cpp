#include "menu/MenuBuilder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "images/CostLimitedImageCache.h"
#include "menu/MenuRowSupport.h"
#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/TextField.h"
#include "state/Automations.h"
#include "state/DeviceControl.h"
#include "state/MusicPlayer.h"

namespace corvix {

namespace {

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

/// One reading, or the range when the lowest and highest differ visibly.
std::string readingRange(const std::vector<double>& values) {
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    if (std::fabs(*highest - *lowest) < 0.01) {
        return formatNumber(*lowest);
    }
    return formatNumber(*lowest) + "-" + formatNumber(*highest);
}

std::string scriptCount(std::size_t count) {
    return count == 1 ? "1 script" : std::to_string(count) + " scripts";
}

/// The `index`th record of the list `list` reads from a document.
template <typename List>
RecordLocator nthOf(List list, std::size_t index) {
    return [list, index](const JsonObject& state) -> const JsonObject* {
        const ObjectList records = list(state);
        return index < records.size() ? records[index] : nullptr;
    };
}

/// What a located record must still agree on to be the same row's: its id (its name without
/// one) and its kind.
std::string recordKey(const JsonObject& record) {
    std::string key = identifierText(record, "id");
    if (key.empty()) {
        key = "name:" + string(record, "name");
    }
    return key + "\n" + string(record, "kind");
}

}  // namespace

std::shared_ptr<TextField> rowLabel(std::string_view text, const Rect& frame, Font font,
                                    Color color) {
    auto label = TextField::label(std::string(text));
    label->setFrame(frame);
    label->setFont(font);
    label->setTextColor(color);
    label->setTruncatesTail(true);
    return label;
}

ObjectList topLevelMediaDevices(const JsonObject& state) {
    ObjectList devices;
    std::set<std::string, std::less<>> taken;
    for (const JsonObject* room : array(state, "rooms")) {
        for (const JsonObject* device : array(*room, "devices")) {
            if (string(*device, "kind") != "media" && !supportsDeviceApps(*device)) {
                continue;
            }
            std::string key = identifierText(*device, "id");
            if (key.empty()) {
                key = string(*device, "name");
            }
            if (!key.empty() && taken.insert(std::move(key)).second) {
                devices.push_back(device);
            }
        }
    }
    return devices;
}

std::string sensorSummaryText(const std::vector<double>& temperatures,
                              const std::vector<double>& humidities) {
    std::string text;
    if (!temperatures.empty()) {
        text = "Temperature " + readingRange(temperatures);
    }
    if (!humidities.empty()) {
        if (!text.empty()) {
            text += "  ";
        }
        text += "Humidity " + readingRange(humidities) + "%";
    }
    return text;
}

MenuBuilder::MenuBuilder(double width, std::weak_ptr<StayOpenMenu> menu,
                         const OrbeluneClient& client, OrderedSends& sends,
                         std::function<void()> openDashboard, std::function<void()> openSettings,
                         std::function<void()> refresh, std::function<void()> quit)
    : width(width),
      menu(std::move(menu)),
      client(client),
      sends(sends),
      openDashboard(std::move(openDashboard)),
      openSettings(std::move(openSettings)),
      refresh(std::move(refresh)),
      quit(std::move(quit)),
      musicArtworkLoader(client, [this] {
          if (this->refresh) {
              this->refresh();
          }
      }) {}

// Placeholders and the footer.

void MenuBuilder::clearForPlaceholder(StayOpenMenu& target) {
    ++menuGeneration_;
    currentState.reset();
    buttonTargets.clear();
    // The music views are gone with the built menu; nothing is left to update in place.
    playbackUpdateHandlers.clear();
    stateUpdateHandlers.clear();
    target.removeAllItems();
}

void MenuBuilder::buildLoading(StayOpenMenu& target, std::string_view message) {
    clearForPlaceholder(target);
    target.addItem(disabledLine(message));
    target.addItem(MenuItem::separator());
    addFooter(target, false);
}

void MenuBuilder::buildOffline(StayOpenMenu& target, std::string_view message) {
    clearForPlaceholder(target);
    target.addItem(disabledLine("Orbelune OS is not reachable"));
    target.addItem(disabledLine(message));
    target.addItem(MenuItem::separator());
    addFooter(target, false);
}

void MenuBuilder::addFooter(StayOpenMenu& target, bool serverReachable) {
    const auto weak = lifetime_.weak();
    // Read through the builder when clicked, so rows outliving it do nothing; called on a copy,
    // because Quit may end the builder's owner while the callback runs.
    auto call = [this, weak](const std::function<void()> MenuBuilder::*callback) {
        return [this, weak, callback] {
            if (weak.expired()) {
                return;
            }
            if (const std::function<void()> run = this->*callback) {
                run();
            }
        };
    };
    const std::string retry = serverReachable ? "Refresh" : "Retry";
    const struct {
        std::string_view title;
        std::string_view icon;
        const std::function<void()> MenuBuilder::*callback;
    } rows[] = {
        {"Open Orbelune OS", "arrow.up.right.square", &MenuBuilder::openDashboard},
        {"Settings...", "gearshape", &MenuBuilder::openSettings},
        {retry, "arrow.clockwise", &MenuBuilder::refresh},
        {"Quit", "power", &MenuBuilder::quit},
    };
    for (const auto& row : rows) {
        target.addItem(
            actionItem(row.title, row.icon, std::nullopt, true, row.title, call(row.callback)));
    }
}

// The full build.

void MenuBuilder::build(StayOpenMenu& target, std::shared_ptr<const JsonObject> state) {
    if (!state) {
        state = std::make_shared<const JsonObject>();
    }
    auto& diagnostics = RuntimeDiagnostics::menuBar();
    diagnostics.event("menu_full_rebuild");
    diagnostics.gauge("music_artwork_cache_entries", sharedMusicArtworkCache().count());
    diagnostics.gauge("media_app_icon_cache_entries", sharedMediaAppIconCache().count());

    // Runs started from the rows rebuild from this document.
    ++menuGeneration_;
    currentState = state;
    playbackUpdateHandlers.clear();
    stateUpdateHandlers.clear();
    activeMusicPlayer.reset();
    buttonTargets.clear();
    target.removeAllItems();
    const JsonObject& document = *state;

    const ObjectList pinned = array(document, "pinned");
    for (std::size_t i = 0; i < pinned.size(); ++i) {
        addPinnedItem(*pinned[i], target,
                      nthOf([](const JsonObject& s) { return array(s, "pinned"); }, i));
    }
    if (!pinned.empty()) {
        target.addItem(MenuItem::separator());
    }

    const JsonObject* musicPlayer = objectMember(document, "musicPlayer");
    if (corvixSectionEnabled(corvixSectionMusicPlayerKey) && musicPlayer &&
        bool_(*musicPlayer, "available", false)) {
        settleLocalMusicPlayer(*musicPlayer);
        const JsonObject music = effectiveMusicPlayerBlock(*musicPlayer, localActiveMusicPlayerId);
        if (const JsonObject* active = objectMember(music, "activePlayer")) {
            activeMusicPlayer = *active;
        }
        addMusicPlayer(music, target);
        target.addItem(MenuItem::separator());
    }

    // Media devices are listed once at the top, whichever rooms they are in.
    const ObjectList mediaDevices = topLevelMediaDevices(document);
    for (std::size_t i = 0; i < mediaDevices.size(); ++i) {
        addDevice(sharedRecord(state, mediaDevices[i]), target, nthOf(topLevelMediaDevices, i));
    }
    // Also when the hook left them all out (Apple TVs with their section switched off).
    if (!mediaDevices.empty()) {
        target.addItem(MenuItem::separator());
    }

    const ObjectList rooms = array(document, "rooms");
    const ObjectList avFlows =
        corvixSectionEnabled(corvixSectionAVFlowsKey) ? macControlAvFlows(document) : ObjectList{};
    const ObjectList scenes = corvixSectionEnabled(corvixSectionScenesKey)
                                  ? macControlProgramScenes(document)
                                  : ObjectList{};
    const bool hasAutomations = !avFlows.empty() || !scenes.empty();

    if (rooms.empty() && !hasAutomations) {
        target.addItem(disabledLine("No Mac quick controls configured"));
    } else {
        if (!rooms.empty()) {
            target.addItem(sectionTitleMenuItem("Rooms"));
            for (std::size_t i = 0; i < rooms.size(); ++i) {
                addRoom(sharedRecord(state, rooms[i]), i, target);
            }
            if (hasAutomations) {
                target.addItem(MenuItem::separator());
            }
        }
        if (!avFlows.empty()) {
            addAutomationSubmenu("AV Flow", "rectangle.connected.to.line.below", avFlows,
                                 macControlAvFlows, target);
        }
        if (!scenes.empty()) {
            addAutomationSubmenu("Scenes", "sparkles", scenes, macControlProgramScenes, target);
        }
    }

    target.addItem(MenuItem::separator());
    addFooter(target, true);
}

void MenuBuilder::addPinnedItem(const JsonObject& item, StayOpenMenu& parent,
                                RecordLocator locate) {
    const std::string label = string(item, "label", "Control");
    const std::string icon = iconFromItem(item);
    // A run needs only the item's id, which outlives the document.
    const std::string id = identifierText(item, "id");
    const auto weak = lifetime_.weak();

    std::optional<bool> switchState;
    const JsonObject* toggle = objectMember(item, "toggle");
    if (toggle && bool_(*toggle, "capable", false)) {
        switchState = optionalBool(*toggle, "isOn").value_or(false);
    } else {
        switch (programAutomationToggleState(item)) {
            case AutomationToggleState::ToggleOn:
                switchState = true;
                break;
            case AutomationToggleState::ToggleOff:
                switchState = false;
                break;
            case AutomationToggleState::NotAToggle:
                break;
        }
    }

    if (!switchState) {
        parent.addItem(actionItem(label, icon, std::nullopt, true, std::nullopt, [this, weak, id] {
            if (!weak.expired()) {
                runItemWithId(id, std::nullopt);
            }
        }));
        return;
    }

    auto view = std::make_shared<View>(Rect(0, 0, width, 32));
    addIcon(icon, *view, 8);
    view->addSubview(rowLabel(label, Rect(40, 7, 228, 17), Font::system(13)));
    auto toggleSwitch = std::make_shared<OrbeluneToggleSwitch>(Rect(268, 4, 44, 24));
    toggleSwitch->setOn(*switchState);
    toggleSwitch->setEnabled(true);
    toggleSwitch->setAccessibilityLabel(label);
    std::weak_ptr<OrbeluneToggleSwitch> weakSwitch = toggleSwitch;
    toggleSwitch->setTarget(retainTarget([this, weak, weakSwitch, id] {
        auto control = weakSwitch.lock();
        if (!weak.expired() && control) {
            runItemWithId(id, control->isOn());
        }
    }));
    view->addSubview(toggleSwitch);
    parent.addItem(itemWithView(label, view));
    onRecordUpdate(locate, item, [weakSwitch](const SharedRecord& newer) {
        auto control = weakSwitch.lock();
        if (!control) {
            return;
        }
        const JsonObject* newerToggle = objectMember(*newer, "toggle");
        if (newerToggle && bool_(*newerToggle, "capable", false)) {
            control->setOn(optionalBool(*newerToggle, "isOn").value_or(false));
        } else if (const auto state = programAutomationToggleState(*newer);
                   state != AutomationToggleState::NotAToggle) {
            control->setOn(state == AutomationToggleState::ToggleOn);
        }
    });
}

void MenuBuilder::addRoom(const SharedRecord& roomRecord, std::size_t index, StayOpenMenu& parent) {
    auto row = submenuItem(string(*roomRecord, "name", "Room"), "house", std::nullopt);
    auto submenu = StayOpenMenu::make();
    // A big home has thousands of device rows, and a rebuild would make them all while the
    // user looks at one room at most: each room makes its rows when it is first opened, from
    // the newest document of the same structure.
    submenu->fillWhenNeeded([this, weak = lifetime_.weak(), generation = menuGeneration_,
                             roomRecord, index](Menu& menu) {
        if (weak.expired() || generation != menuGeneration_) {
            return;
        }
        SharedRecord room = roomRecord;
        const ObjectList rooms = currentState ? array(*currentState, "rooms") : ObjectList{};
        if (index < rooms.size() && recordKey(*rooms[index]) == recordKey(*roomRecord)) {
            room = sharedRecord(currentState, rooms[index]);
        }
        fillRoom(room, index, static_cast<StayOpenMenu&>(menu));
    });
    row->setSubmenu(submenu);
    parent.addItem(row);
}

void MenuBuilder::fillRoom(const SharedRecord& roomRecord, std::size_t index,
                           StayOpenMenu& submenu) {
    const JsonObject& room = *roomRecord;
    const ObjectList devices = array(room, "devices");
    for (std::size_t i = 0; i < devices.size(); ++i) {
        addDevice(sharedRecord(roomRecord, devices[i]), submenu,
                  nthOf(
                      [index](const JsonObject& state) {
                          const ObjectList rooms = array(state, "rooms");
                          return index < rooms.size() ? array(*rooms[index], "devices")
                                                      : ObjectList{};
                      },
                      i));
    }
    if (devices.empty()) {
        submenu.addItem(disabledLine("No devices"));
    }
    if (const JsonObject* sensors = objectMember(room, "sensors")) {
        const std::string summary = sensorSummaryText(numberArray(*sensors, "temperatures"),
                                                      numberArray(*sensors, "humidities"));
        if (!summary.empty()) {
            submenu.addItem(MenuItem::separator());
            submenu.addItem(
                actionItem(summary, "thermometer.medium", std::nullopt, true, std::nullopt, [] {}));
        }
    }
}

void MenuBuilder::addAutomationSubmenu(std::string_view title, std::string_view icon,
                                       const ObjectList& programs,
                                       ObjectList (*list)(const JsonObject&),
                                       StayOpenMenu& parent) {
    const std::string subtitle = scriptCount(programs.size());
    auto row = submenuItem(title, icon, subtitle);
    auto submenu = StayOpenMenu::make();
    submenu->addItem(sectionTitleMenuItem(title, subtitle));
    submenu->addItem(MenuItem::separator());
    for (std::size_t i = 0; i < programs.size(); ++i) {
        submenu->addItem(programScriptRow(*programs[i], nthOf(list, i)));
    }
    row->setSubmenu(submenu);
    parent.addItem(row);
}

// In-place updates of rows that show hub state.

void MenuBuilder::onRecordUpdate(const RecordLocator& locate, const JsonObject& record,
                                 RecordUpdate update) {
    if (!locate) {
        return;
    }
    stateUpdateHandlers.push_back(
        [locate, key = recordKey(record), update = std::move(update)](const SharedRecord& state) {
            const JsonObject* newer = locate(*state);
            if (newer && recordKey(*newer) == key) {
                update(sharedRecord(state, newer));
            }
        });
}

bool MenuBuilder::updateRows(std::shared_ptr<const JsonObject> state) {
    if (!state || !currentState) {
        return false;
    }
    currentState = state;
    // Run the ones registered now, whatever a handler does to the list.
    const auto handlers = stateUpdateHandlers;
    for (const auto& handler : handlers) {
        handler(state);
    }
    RuntimeDiagnostics::menuBar().count("rows_updated_in_place",
                                        static_cast<std::int64_t>(handlers.size()));
    return true;
}

bool MenuBuilder::updatePlayback(std::shared_ptr<const JsonObject> state) {
    if (!state) {
        return false;
    }
    const JsonObject* musicPlayer = objectMember(*state, "musicPlayer");
    if (!musicPlayer || !bool_(*musicPlayer, "available", false)) {
        return false;
    }
    if (!objectMember(*musicPlayer, "activePlayer") || playbackUpdateHandlers.empty()) {
        return false;
    }
    // The rows show and command the output chosen here, as the last build did.
    settleLocalMusicPlayer(*musicPlayer);
    const JsonObject music = effectiveMusicPlayerBlock(*musicPlayer, localActiveMusicPlayerId);
    const JsonObject* active = objectMember(music, "activePlayer");
    if (!active) {
        return false;
    }
    const JsonObject player = *active;
    currentState = std::move(state);
    activeMusicPlayer = player;
    // An updater may rebuild the menu and replace the list; run the ones registered now.
    const auto handlers = playbackUpdateHandlers;
    for (const auto& handler : handlers) {
        handler(player);
    }
    RuntimeDiagnostics::menuBar().count("playback_views_updated_in_place",
                                        static_cast<std::int64_t>(handlers.size()));
    return true;
}

// Row factories.

std::shared_ptr<MenuItem> MenuBuilder::sectionTitleMenuItem(
    std::string_view title, std::optional<std::string_view> subtitle) const {
    auto view = std::make_shared<View>(Rect(0, 0, width, subtitle ? 40 : 30));
    view->addSubview(rowLabel(title, Rect(14, subtitle ? 18 : 7, 298, 16),
                              Font::system(13, FontWeight::Semibold)));
    if (subtitle) {
        view->addSubview(
            rowLabel(*subtitle, Rect(14, 5, 298, 14), Font::system(11), secondaryLabelColor()));
    }
    auto item = itemWithView(title, view);
    item->setEnabled(false);
    return item;
}

std::shared_ptr<MenuItem> MenuBuilder::submenuItem(std::string_view title, std::string_view icon,
                                                   std::optional<std::string_view> subtitle) const {
    const bool hasSubtitle = subtitle && !subtitle->empty();
    auto view = std::make_shared<View>(Rect(0, 0, width, 30));
    addIcon(icon, *view, 7);
    view->addSubview(rowLabel(title, Rect(40, hasSubtitle ? 12 : 7, 260, 17), Font::system(13)));
    if (hasSubtitle) {
        view->addSubview(
            rowLabel(*subtitle, Rect(40, 1, 260, 13), Font::system(10), secondaryLabelColor()));
    }
    auto chevron = ImageView::withImage(systemSymbolImage("chevron.right"));
    chevron->setFrame(Rect(302, 9, 12, 12));
    chevron->setContentTintColor(secondaryLabelColor());
    view->addSubview(chevron);
    return itemWithView(title, view);
}

std::shared_ptr<MenuItem> MenuBuilder::actionItem(
    std::string_view title, std::string_view icon, std::optional<std::string_view> subtitle,
    bool isEnabled, std::optional<std::string_view> accessibilityLabel,
    std::function<void()> action) const {
    const bool hasSubtitle = subtitle.has_value();
    const bool hasVisibleSubtitle = hasSubtitle && !subtitle->empty();
    auto view = std::make_shared<ActionView>(Rect(0, 0, width, hasSubtitle ? 40 : 30));
    view->setCornerRadius(8);
    view->setHoverFillColor(accentColor(0.10));
    view->setHoverStrokeColor(accentColor(0.16));
    view->setPressedFillColor(accentColor(0.20));
    view->setPressedStrokeColor(accentColor(0.28));
    view->setAlphaValue(1);
    view->setAccessibilityElement(true);
    view->setAccessibilityRole(AccessibilityRole::Button);
    view->setAccessibilityLabel(std::string(accessibilityLabel.value_or(title)));

    double x = 14;
    if (!icon.empty()) {
        addIcon(icon, *view, hasSubtitle ? 12 : 7);
        x = 40;
    }
    const double textWidth = width - x - 14;
    view->addSubview(
        rowLabel(title, Rect(x, hasSubtitle ? 12 : 7, textWidth, 17), Font::system(13)));
    if (hasVisibleSubtitle) {
        view->addSubview(rowLabel(*subtitle, Rect(x, 1, textWidth, 13), Font::system(10),
                                  secondaryLabelColor()));
    }
    view->onAction = std::move(action);

    auto item = itemWithView(title, view);
    item->setEnabled(isEnabled);
    return item;
}

void MenuBuilder::addIcon(std::string_view name, View& view, double y) {
    auto icon = ImageView::withImage(systemSymbolImage(name, name));
    icon->setFrame(Rect(14, y, 16, 16));
    icon->setContentTintColor(secondaryLabelColor());
    icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    view.addSubview(icon);
}

std::string MenuBuilder::iconFromItem(const JsonObject& item) {
    if (isAvFlowProgramControl(item)) {
        return "rectangle.connected.to.line.below";
    }
    if (isSceneProgramControl(item)) {
        return "sparkles";
    }
    const std::string icon = string(item, "icon");
    if (contains(icon, "light")) {
        return "lightbulb";
    }
    if (contains(icon, "media") || contains(icon, "tv")) {
        return "tv";
    }
    if (contains(icon, "av") || contains(icon, "flow")) {
        return "rectangle.connected.to.line.below";
    }
    if (contains(icon, "program") || contains(icon, "scene")) {
        return "sparkles";
    }
    return "slider.horizontal.3";
}

std::shared_ptr<ButtonTarget> MenuBuilder::retainTarget(std::function<void()> handler) {
    auto target = ButtonTarget::make(std::move(handler));
    buttonTargets.push_back(target);
    return target;
}

}  // namespace corvix

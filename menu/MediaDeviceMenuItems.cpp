// The submenu of a media device: its header with the power switch, the Remote / Apps switch of
// a device with apps, the on-screen remote with its "More" grid, and the Apps panel.

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/RuntimeDiagnostics.h"
#include "controls/ActionView.h"
#include "controls/MediaAppModeControl.h"
#include "controls/MusicPanelView.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "hub/OrbeluneClient.h"
#include "images/CostLimitedImageCache.h"
#include "images/MediaAppIcons.h"
#include "menu/MediaAppGridView.h"
#include "menu/MenuBuilder.h"
#include "menu/MenuRowSupport.h"
#include "platform/AsciiText.h"
#include "platform/PlatformServices.h"
#include "platform/RunLoop.h"
#include "platform/Url.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/Box.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Symbols.h"
#include "state/CommandFailure.h"
#include "state/DeviceControl.h"

namespace corvix {

namespace {

bool isDarkAppearance() {
    if (AppearanceService* appearance = platformServices().appearance) {
        return appearance->isDark();
    }
    return Color::currentScheme() == ColorScheme::Dark;
}

std::string lowercased(std::string text) {
    return asciiLowercased(text);
}

/// The fill, hover fill and content colours of a remote button.
struct RemoteButtonLook {
    Color fill;
    Color hoverFill;
    Color content;
    Color stroke;
    Color hoverStroke;
};

RemoteButtonLook remoteButtonLook(bool available, bool emphasized, bool dark) {
    if (!available) {
        const Color fill =
            dark ? Color::calibratedWhite(0.18, 0.38) : Color::calibratedWhite(0.78, 0.34);
        return {fill, fill, Color::system(SystemColor::DisabledControlText), separatorColor(0.45),
                separatorColor(0.45)};
    }
    const Color stroke = separatorColor(dark ? 0.28 : 0.40);
    const Color hoverStroke = dark ? Color::calibratedRGB(0.70, 0.75, 0.82, 0.30)
                                   : Color::calibratedRGB(0.30, 0.34, 0.39, 0.30);
    if (emphasized) {
        return {dark ? Color::calibratedRGB(0.68, 0.71, 0.76, 0.96)
                     : Color::calibratedRGB(0.31, 0.35, 0.40, 0.96),
                dark ? Color::calibratedRGB(0.76, 0.79, 0.84, 1)
                     : Color::calibratedRGB(0.25, 0.29, 0.34, 1),
                Color::calibratedWhite(dark ? 0.08 : 0.98), stroke, hoverStroke};
    }
    return {dark ? Color::calibratedRGB(0.19, 0.20, 0.22, 0.78)
                 : Color::calibratedRGB(0.82, 0.84, 0.86, 0.76),
            dark ? Color::calibratedRGB(0.24, 0.25, 0.28, 0.92)
                 : Color::calibratedRGB(0.76, 0.78, 0.81, 0.92),
            Color::system(SystemColor::Label), stroke, hoverStroke};
}

std::shared_ptr<TextField> sectionLabel(std::string_view text, const Rect& frame) {
    return rowLabel(text, frame, Font::system(10, FontWeight::Semibold), secondaryLabelColor());
}

/// A 326×30 row that runs `action`, in the accent colour when hovered or pressed.
std::shared_ptr<ActionView> accentActionRow(std::string_view title, std::function<void()> action) {
    auto row = std::make_shared<ActionView>(Rect(0, 0, MenuBuilder::kRowWidth, 30));
    const Color accent = Color::system(SystemColor::ControlAccent);
    row->setCornerRadius(8);
    row->setHoverFillColor(accent.withAlphaComponent(0.10));
    row->setHoverStrokeColor(accent.withAlphaComponent(0.16));
    row->setPressedFillColor(accent.withAlphaComponent(0.20));
    row->setPressedStrokeColor(accent.withAlphaComponent(0.28));
    row->setAccessibilityElement(true);
    row->setAccessibilityRole(AccessibilityRole::Button);
    row->setAccessibilityLabel(std::string(title));
    MenuBuilder::addIcon("arrow.clockwise", *row, 7);
    row->addSubview(rowLabel(title, Rect(40, 7, 272, 17), Font::system(13)));
    row->onAction = std::move(action);
    return row;
}

/// The record of `device` in `state`, the newest document: the top-level list holds every media
/// device once by its id. Null when that document does not show it (or there is none).
SharedRecord newestRecordOf(const JsonObject& device,
                            const std::shared_ptr<const JsonObject>& state) {
    const std::string id = identifierText(device, "id");
    if (!state || id.empty()) {
        return nullptr;
    }
    const std::string kind = string(device, "kind");
    for (const JsonObject* candidate : topLevelMediaDevices(*state)) {
        if (identifierText(*candidate, "id") == id && string(*candidate, "kind") == kind) {
            return sharedRecord(state, candidate);
        }
    }
    return nullptr;
}

/// Adds the targets that the controls in `view` and its subviews send to.
void collectTargets(const View& view, std::set<const ActionTarget*>& targets) {
    if (const auto* control = dynamic_cast<const Control*>(&view)) {
        if (auto target = control->target()) {
            targets.insert(target.get());
        }
    }
    for (const auto& subview : view.subviews()) {
        collectTargets(*subview, targets);
    }
}

}  // namespace

std::string mediaDeviceStatusText(const JsonObject& device) {
    static const JsonObject kEmpty;
    const JsonObject* stateObject = objectMember(device, "state");
    const JsonObject& state = stateObject ? *stateObject : kEmpty;
    const JsonObject* extras = objectMember(state, "extras");
    const JsonObject* power = objectMember(device, "power");
    std::optional<bool> on = power ? optionalBool(*power, "isOn") : std::nullopt;
    if (!on) {
        on = optionalBool(state, "power");
    }
    if (!on && extras) {
        on = optionalBool(*extras, "powerState");
    }
    if (!on.value_or(true)) {
        return "Powered off";
    }
    std::vector<std::string> parts;
    std::string main = string(state, "title");
    if (main.empty()) {
        main = string(state, "currentAppName");
    }
    if (main.empty()) {
        main = string(state, "currentApp");
    }
    if (!main.empty()) {
        parts.push_back(main);
    }
    const std::string playback = lowercased(string(state, "playback"));
    if (playback == "playing") {
        parts.emplace_back("Playing");
    } else if (playback == "paused") {
        parts.emplace_back("Paused");
    } else if (playback == "idle" && !parts.empty()) {
        parts.emplace_back("Idle");
    }
    if (!parts.empty()) {
        return parts.size() == 1 ? parts[0] : parts[0] + " \u2022 " + parts[1];
    }
    if (auto status = statusText(device); status && !status->empty()) {
        return *status;
    }
    return "Ready";
}

void MenuBuilder::buildMediaDeviceSubmenu(const JsonObject& device, StayOpenMenu& submenu) {
    // Built with the menu: follow newer records of the device. Only what the submenu shows of
    // them rebuilds it, so a state event that changes nothing keeps a scrolled grid in place.
    auto shownOf = [](const JsonObject& record) {
        const JsonObject* power = objectMember(record, "power");
        return JsonObject{{"status", mediaDeviceStatusText(record)},
                          {"power", power ? json::value(*power) : json::value()},
                          {"remote", member(record, "mediaRemote") ? *member(record, "mediaRemote")
                                                                   : json::value()},
                          {"apps", supportsDeviceApps(record)},
                          {"name", string(record, "name")}};
    };
    auto shown = std::make_shared<JsonObject>(shownOf(device));
    std::weak_ptr<Menu> weakMenu = submenu.shared_from_this();
    onDeviceUpdate(
        [this, weak = lifetime_.weak(), weakMenu, shown, shownOf](const SharedRecord& newer) {
            auto menu = std::dynamic_pointer_cast<StayOpenMenu>(weakMenu.lock());
            if (weak.expired() || !menu) {
                return;
            }
            JsonObject now = shownOf(*newer);
            if (now == *shown) {
                return;
            }
            *shown = std::move(now);
            buildMediaDeviceSubmenu(*newer, *menu);
        });
    const std::string deviceId = identifierText(device, "id");
    // Rebuilt under the keyboard (a launch changes the header): the new grid focuses the same
    // app. The old grid may go with its row.
    std::optional<std::string> focusedApp;
    if (auto shownGrids = mediaAppGrids.find(deviceId); shownGrids != mediaAppGrids.end()) {
        for (const auto& weakGrid : shownGrids->second) {
            if (auto grid = weakGrid.lock(); grid && grid->focusedAppId()) {
                focusedApp = grid->focusedAppId();
            }
        }
    }
    // The rows going away take their targets along: rebuilt in place on every change the hub
    // reports, the submenu must not pile them up in `buttonTargets`.
    std::set<const ActionTarget*> oldTargets;
    for (const auto& item : submenu.itemArray()) {
        if (item->view()) {
            collectTargets(*item->view(), oldTargets);
        }
    }
    std::erase_if(buttonTargets,
                  [&oldTargets](const auto& target) { return oldTargets.contains(target.get()); });
    submenu.removeAllItems();
    submenu.addItem(mediaHeaderItem(device));
    const bool hasApps = supportsDeviceApps(device);
    if (hasApps) {
        auto view = std::make_shared<View>(Rect(0, 0, width, 38));
        auto control = std::make_shared<MediaAppModeControl>(Rect(16, 6, 294, 26));
        control->setSelectedSegment(mediaAppsModeDeviceIds.contains(deviceId) ? 1 : 0);
        control->setEnabled(!deviceId.empty());
        // The click is still being handled by the control the rebuild would remove.
        control->onChange = [this, weak = lifetime_.weak(), deviceId,
                             rebuildLater =
                                 mediaDeviceRebuildLater(device, submenu)](bool appsSelected) {
            if (weak.expired()) {
                return;
            }
            if (appsSelected) {
                mediaAppsModeDeviceIds.insert(deviceId);
            } else {
                mediaAppsModeDeviceIds.erase(deviceId);
            }
            rebuildLater();
        };
        view->addSubview(control);
        submenu.addItem(itemWithView("Remote / Apps", view));
    }
    if (hasApps && mediaAppsModeDeviceIds.contains(deviceId)) {
        addMediaAppsPanel(device, submenu, focusedApp);
        return;
    }
    // Only this device's icons: another grid of the same or another device may be loading.
    std::set<std::string, std::less<>> keep;
    for (const auto& [id, grids] : mediaAppGrids) {
        if (id == deviceId || !mediaAppsModeDeviceIds.contains(id)) {
            continue;
        }
        const bool shown = std::any_of(grids.begin(), grids.end(),
                                       [](const auto& grid) { return !grid.expired(); });
        auto cached = mediaAppCache.find(id);
        if (shown && cached != mediaAppCache.end()) {
            for (const JsonObject& app : cached->second) {
                if (std::string key = mediaAppIconKey(app); !key.empty()) {
                    keep.insert(std::move(key));
                }
            }
        }
    }
    cancelMediaAppIconTasks(keep);
    addMediaRemote(device, submenu);
}

std::shared_ptr<MenuItem> MenuBuilder::mediaHeaderItem(const JsonObject& device) {
    const std::string name = string(device, "name", "Apple TV");
    const bool dark = isDarkAppearance();
    auto view = std::make_shared<View>(Rect(0, 0, width, 48));

    auto tile = std::make_shared<MusicPanelView>(Rect(14, 10, 28, 28));
    const RemoteButtonLook plain = remoteButtonLook(true, false, dark);
    tile->cornerRadius = 8;
    tile->inset = {};
    tile->fillColor = plain.fill;
    tile->strokeColor = plain.stroke;
    view->addSubview(tile);
    auto symbol = ImageView::withImage(systemSymbolImage("tv", "tv"));
    symbol->setFrame(Rect(20, 16, 16, 16));
    symbol->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    symbol->setContentTintColor(dark ? Color::calibratedRGB(0.70, 0.75, 0.82)
                                     : Color::calibratedRGB(0.30, 0.34, 0.39));
    view->addSubview(symbol);

    view->addSubview(rowLabel(name, Rect(52, 24, 204, 18), Font::system(14, FontWeight::Semibold)));
    view->addSubview(rowLabel(mediaDeviceStatusText(device), Rect(52, 9, 204, 14), Font::system(11),
                              secondaryLabelColor()));

    if (const JsonObject* power = objectMember(device, "power")) {
        auto toggleSwitch = std::make_shared<OrbeluneToggleSwitch>(Rect(268, 12, 44, 24));
        const bool on = optionalBool(*power, "isOn").value_or(false);
        toggleSwitch->setOn(on);
        toggleSwitch->setAccessibilityValue(on ? 1.0 : 0.0);
        toggleSwitch->setAccessibilityLabel(name + " power");
        std::weak_ptr<OrbeluneToggleSwitch> weakSwitch = toggleSwitch;
        const auto weak = lifetime_.weak();
        const JsonObject powerRecord = *power;
        toggleSwitch->setTarget(retainTarget([this, weak, weakSwitch, powerRecord] {
            auto control = weakSwitch.lock();
            if (weak.expired() || !control) {
                return;
            }
            const bool desired = control->isOn();
            control->setAccessibilityValue(desired ? 1.0 : 0.0);
            control->setEnabled(false);
            // Whatever did not switch the device must not look as if it had.
            auto setBack = [weakSwitch, desired] {
                if (auto s = weakSwitch.lock()) {
                    s->setOn(!desired);
                    s->setAccessibilityValue(desired ? 0.0 : 1.0);
                    s->setEnabled(true);
                }
            };
            const std::string itemId = powerItemId(powerRecord, desired);
            if (itemId.empty()) {
                setBack();
                return;
            }
            // Failures take the device rows' road: set back, then silent, quiet or alerted.
            client.runItem(itemId, desired,
                           [weakSwitch, outcome = commandOutcome(setBack)](Result<void> result) {
                               if (result.ok()) {
                                   if (auto s = weakSwitch.lock()) {
                                       s->setEnabled(true);
                                   }
                               }
                               outcome(std::move(result));
                           });
        }));
        view->addSubview(toggleSwitch);
    }
    return itemWithView(name, view);
}

void MenuBuilder::addMediaRemote(const JsonObject& device, StayOpenMenu& submenu) {
    static const JsonObject kEmpty;
    const JsonObject* remoteObject = objectMember(device, "mediaRemote");
    const JsonObject& remote = remoteObject ? *remoteObject : kEmpty;
    const JsonObject* slotsObject = objectMember(remote, "slots");
    const JsonObject& slots = slotsObject ? *slotsObject : kEmpty;
    const ObjectList advanced = uniqueCommands(array(remote, "advanced"));
    const bool dark = isDarkAppearance();

    auto panel = std::make_shared<MusicPanelView>(Rect(0, 0, width, 270));
    panel->fillColor = dark ? Color::calibratedRGB(0.12, 0.13, 0.15, 0.74)
                            : Color::calibratedRGB(0.93, 0.94, 0.95, 0.84);
    panel->strokeColor = separatorColor(dark ? 0.28 : 0.40);
    // The panel itself lets clicks through to nothing; the buttons sit in a plain container.
    auto view = std::make_shared<View>(Rect(0, 0, width, 270));
    view->addSubview(panel);

    struct Button {
        std::vector<const char*> slots;
        const char* title;
        const char* symbol;
        Rect frame;
        bool emphasized;
    };
    static const Button kButtons[] = {
        {{"home"}, "Home", "house.fill", Rect(18, 204, 82, 30), false},
        {{"menu"}, "Menu", "line.3.horizontal", Rect(226, 204, 82, 30), false},
        {{"up"}, "", "chevron.up", Rect(133, 174, 60, 34), false},
        {{"left"}, "", "chevron.left", Rect(49, 121, 60, 34), false},
        {{"select"}, "OK", "", Rect(127, 110, 72, 56), true},
        {{"right"}, "", "chevron.right", Rect(217, 121, 60, 34), false},
        {{"down"}, "", "chevron.down", Rect(133, 68, 60, 34), false},
        {{"back", "menu"}, "Back", "chevron.backward", Rect(18, 68, 82, 30), false},
        {{"previous"}, "", "backward.end.fill", Rect(86, 35, 42, 28), false},
        {{"playPause"}, "", "playpause.fill", Rect(142, 33, 48, 32), true},
        {{"next"}, "", "forward.end.fill", Rect(198, 35, 42, 28), false},
        {{"volumeDown"}, "", "speaker.wave.1.fill", Rect(86, 3, 42, 28), false},
        {{"mute"}, "", "speaker.slash.fill", Rect(142, 3, 42, 28), false},
        {{"volumeUp"}, "", "speaker.wave.3.fill", Rect(198, 3, 42, 28), false},
    };
    view->addSubview(sectionLabel("Remote", Rect(16, 242, 160, 15)));
    for (const Button& button : kButtons) {
        const JsonObject* command = nullptr;
        for (const char* slot : button.slots) {
            if ((command = objectMember(slots, slot))) {
                break;
            }
        }
        addRemoteButton(button.title, button.symbol, command, device, button.frame, *view,
                        button.emphasized);
        if (button.frame == Rect(18, 68, 82, 30)) {
            view->addSubview(std::make_shared<Box>(Rect(16, 66, 294, 1), BoxType::Separator));
            view->addSubview(sectionLabel("Transport", Rect(18, 42, 84, 15)));
        } else if (button.frame == Rect(198, 35, 42, 28)) {
            view->addSubview(sectionLabel("Volume", Rect(18, 10, 84, 15)));
        }
    }
    submenu.addItem(itemWithView("Remote", view));

    if (!advanced.empty()) {
        submenu.addItem(MenuItem::separator());
        submenu.addItem(mediaCommandGridItem(advanced, device));
    }
}

void MenuBuilder::addRemoteButton(std::string_view title, std::string_view symbol,
                                  const JsonObject* command, const JsonObject& device,
                                  const Rect& frame, View& parent, bool emphasized) {
    auto button = std::make_shared<ActionView>(frame);
    button->setCornerRadius(emphasized ? 12 : 8);
    std::string name = title.empty() ? "Command" : std::string(title);
    if (command) {
        name = string(*command, "label", string(*command, "key", name));
    }
    const bool available = command != nullptr;
    const RemoteButtonLook look = remoteButtonLook(available, emphasized, isDarkAppearance());
    button->setFillColor(look.fill);
    button->setHoverFillColor(look.hoverFill);
    button->setStrokeColor(look.stroke);
    button->setHoverStrokeColor(look.hoverStroke);
    button->setAccessibilityElement(true);
    button->setAccessibilityRole(AccessibilityRole::Button);
    if (available) {
        button->setToolTip(name);
        button->setAccessibilityLabel(name);
        const auto weak = lifetime_.weak();
        auto records = std::make_shared<const std::pair<JsonObject, JsonObject>>(*command, device);
        button->onAction = [this, weak, records] {
            if (!weak.expired()) {
                runCommandObject(records->first, records->second);
            }
        };
    } else {
        button->setToolTip(name + " unavailable");
        button->setAccessibilityLabel(name + " unavailable");
    }

    const double height = frame.size.height;
    const double buttonWidth = frame.size.width;
    if (!symbol.empty()) {
        const double size = emphasized ? 18 : 15;
        auto icon = ImageView::withImage(systemSymbolImage(symbol, symbol));
        const double x = title.empty() ? (buttonWidth - size) / 2 : 14;
        icon->setFrame(Rect(x, (height - size) / 2, size, size));
        icon->setImageScaling(ImageScaling::ProportionallyUpOrDown);
        icon->setContentTintColor(look.content);
        button->addSubview(icon);
    }
    if (!title.empty()) {
        const double x = symbol.empty() ? 0 : 34;
        const double size = title.size() < 6 ? 13 : 12;
        auto label =
            rowLabel(title, Rect(x, (height - 16) / 2, buttonWidth - x, 16),
                     Font::system(size, emphasized ? FontWeight::Semibold : FontWeight::Medium),
                     look.content);
        label->setAlignment(symbol.empty() ? TextAlignment::Center : TextAlignment::Left);
        button->addSubview(label);
    }
    parent.addSubview(button);
}

std::shared_ptr<MenuItem> MenuBuilder::mediaCommandGridItem(const ObjectList& commands,
                                                            const JsonObject& device) {
    const std::size_t count = commands.size();
    const std::size_t columns = count == 1 ? 1 : 2;
    const std::size_t rows = std::max<std::size_t>((count + columns - 1) / columns, 1);
    const double height =
        static_cast<double>(rows) * 26 + 30 + static_cast<double>(rows > 1 ? rows - 1 : 0) * 7 + 10;
    auto view = std::make_shared<View>(Rect(0, 0, width, height));
    view->addSubview(
        rowLabel("More", Rect(14, height - 21, 160, 17), Font::system(12), secondaryLabelColor()));
    const double buttonWidth =
        (298 - 8 * static_cast<double>(columns - 1)) / static_cast<double>(columns);
    const auto weak = lifetime_.weak();
    const auto owner = std::make_shared<const JsonObject>(device);
    for (std::size_t i = 0; i < count; ++i) {
        const JsonObject& record = *commands[i];
        const std::string title = string(record, "label", string(record, "key", "Run"));
        auto button = Button::push(title);
        button->setFrame(Rect(14 + (buttonWidth + 8) * static_cast<double>(i % columns),
                              static_cast<double>(rows - 1 - i / columns) * 33 + 10, buttonWidth,
                              26));
        button->setBezelStyle(BezelStyle::Rounded);
        button->setControlSize(ControlSize::Small);
        button->setFont(Font::system(11));
        button->setToolTip(title);
        auto command = std::make_shared<const JsonObject>(record);
        // The item without a desired state, else the key as a command. A refused item is told,
        // even as unsupported: "More" holds what the remote lacks, and a click there that only
        // refreshed would look as if it did nothing.
        button->setTarget(retainTarget([this, weak, owner, command] {
            if (weak.expired()) {
                return;
            }
            const std::string itemId = identifierText(*command, "itemId");
            if (itemId.empty()) {
                runCommandObject(*command, *owner);
                return;
            }
            runItemShowingEveryFailure(itemId);
        }));
        view->addSubview(button);
    }
    return itemWithView("More", view);
}

std::function<void()> MenuBuilder::mediaDeviceRebuildLater(const JsonObject& device,
                                                           StayOpenMenu& submenu) {
    std::weak_ptr<Menu> weakSubmenu = submenu.shared_from_this();
    auto record = std::make_shared<const JsonObject>(device);
    return [this, weak = lifetime_.weak(), weakSubmenu, record] {
        RunLoop* loop = platformServices().runLoop;
        if (!loop) {
            return;
        }
        loop->post([this, weak, weakSubmenu, record] {
            auto menu = std::dynamic_pointer_cast<StayOpenMenu>(weakSubmenu.lock());
            if (weak.expired() || !menu) {
                return;
            }
            // A newer document may have come in meanwhile.
            const SharedRecord newer = newestRecordOf(*record, currentState);
            buildMediaDeviceSubmenu(newer ? *newer : *record, *menu);
        });
    };
}

// The Apps panel.

void MenuBuilder::addMediaAppsPanel(const JsonObject& device, StayOpenMenu& submenu,
                                    const std::optional<std::string>& focusedApp) {
    const std::string deviceId = identifierText(device, "id");
    const auto weak = lifetime_.weak();
    auto record = std::make_shared<const JsonObject>(device);
    // The buttons below empty the submenu that holds them, so they rebuild on the next turn.
    auto rebuildLater = mediaDeviceRebuildLater(device, submenu);

    if (auto cached = mediaAppCache.find(deviceId); cached != mediaAppCache.end()) {
        const std::vector<JsonObject> apps = cached->second;
        std::set<std::string, std::less<>> keys;
        for (const JsonObject& app : apps) {
            if (std::string key = mediaAppIconKey(app); !key.empty()) {
                keys.insert(std::move(key));
            }
        }
        // Keep the icons of any other grid still on screen loading too.
        for (const auto& [id, grids] : mediaAppGrids) {
            auto other = mediaAppCache.find(id);
            if (id == deviceId || other == mediaAppCache.end() ||
                !mediaAppsModeDeviceIds.contains(id) ||
                std::none_of(grids.begin(), grids.end(),
                             [](const auto& grid) { return !grid.expired(); })) {
                continue;
            }
            for (const JsonObject& app : other->second) {
                if (std::string key = mediaAppIconKey(app); !key.empty()) {
                    keys.insert(std::move(key));
                }
            }
        }
        cancelMediaAppIconTasks(keys);
        if (!apps.empty()) {
            std::vector<MediaAppTileModel> models;
            models.reserve(apps.size());
            CostLimitedImageCache& cache = sharedMediaAppIconCache();
            for (const JsonObject& app : apps) {
                MediaAppTileModel model;
                model.id = identifierText(app, "id");
                model.name = string(app, "name", "App");
                model.iconKey = mediaAppIconKey(app);
                if (!MediaAppIcons::builtInSymbol(model.id)) {
                    model.image = model.iconKey.empty() ? nullptr : cache.image(model.iconKey);
                    if (!model.image) {
                        model.image = MediaAppIcons::inlineImage(model.id, string(app, "iconUrl"));
                        if (model.image && !model.iconKey.empty()) {
                            cache.insert(model.image, model.iconKey);
                        }
                    }
                }
                model.fallbackSymbol = MediaAppIcons::fallbackSymbol(model.id, string(app, "name"));
                models.push_back(std::move(model));
            }
            auto grid = std::make_shared<MediaAppGridView>(
                width, models, [this, weak, apps, record](const std::string& appId) {
                    if (weak.expired()) {
                        return;
                    }
                    for (const JsonObject& app : apps) {
                        if (identifierText(app, "id") == appId) {
                            launchMediaApp(app, *record);
                            return;
                        }
                    }
                });
            // Forget grids that are gone, so the list holds only what is on screen.
            auto& grids = mediaAppGrids[deviceId];
            std::erase_if(grids, [](const auto& entry) { return entry.expired(); });
            grid->setKeyboardEntryAppId(focusedApp);
            grids.push_back(grid);
            submenu.addItem(itemWithView("Apps", grid));
            loadMissingMediaAppIcons(apps);
        } else {
            submenu.addItem(disabledLine("No apps available"));
        }
        submenu.addItem(MenuItem::separator());
        auto row = accentActionRow("Refresh Apps", [this, weak, deviceId, rebuildLater] {
            if (weak.expired()) {
                return;
            }
            mediaAppCache.erase(deviceId);
            mediaAppErrors.erase(deviceId);
            rebuildLater();
        });
        auto item = itemWithView("Refresh Apps", row);
        item->setEnabled(true);
        submenu.addItem(item);
        return;
    }
    if (auto error = mediaAppErrors.find(deviceId); error != mediaAppErrors.end()) {
        submenu.addItem(disabledLine(error->second));
        submenu.addItem(MenuItem::separator());
        auto row = accentActionRow("Retry Apps", [this, weak, deviceId, rebuildLater] {
            if (weak.expired()) {
                return;
            }
            mediaAppErrors.erase(deviceId);
            rebuildLater();
        });
        auto item = itemWithView("Retry Apps", row);
        item->setEnabled(true);
        submenu.addItem(item);
        return;
    }
    submenu.addItem(disabledLine("Loading Apps..."));
    loadMediaApps(device, submenu);
}

void MenuBuilder::loadMediaApps(const JsonObject& device, StayOpenMenu& submenu) {
    const std::string deviceId = identifierText(device, "id");
    if (deviceId.empty()) {
        return;
    }
    // Every submenu that shows "Loading Apps..." gets the list, also one that a rebuild made
    // while the fetch was already running.
    auto& waiting = mediaAppLoadWaiters_[deviceId];
    std::erase_if(waiting, [&](const std::weak_ptr<Menu>& shown) {
        auto menu = shown.lock();
        return !menu || menu.get() == &submenu;
    });
    waiting.push_back(submenu.shared_from_this());
    if (mediaAppLoadingDeviceIds.contains(deviceId)) {
        return;
    }
    mediaAppLoadingDeviceIds.insert(deviceId);
    const auto weak = lifetime_.weak();
    auto record = std::make_shared<const JsonObject>(device);
    client.fetchDeviceApps(
        deviceId, [this, weak, record, deviceId](Result<std::vector<JsonObject>> result) {
            if (weak.expired()) {
                return;
            }
            mediaAppLoadingDeviceIds.erase(deviceId);
            if (result.ok()) {
                mediaAppErrors.erase(deviceId);
                mediaAppCache[deviceId] = std::move(result.value());
            } else {
                mediaAppErrors[deviceId] = result.error().description;
            }
            auto waiters = mediaAppLoadWaiters_.extract(deviceId);
            if (waiters.empty() || !mediaAppsModeDeviceIds.contains(deviceId)) {
                return;
            }
            // The device may have changed while the list loaded: the header shows it as it is now.
            const SharedRecord newer = newestRecordOf(*record, currentState);
            for (const auto& shown : waiters.mapped()) {
                if (auto menu = std::dynamic_pointer_cast<StayOpenMenu>(shown.lock())) {
                    buildMediaDeviceSubmenu(newer ? *newer : *record, *menu);
                }
            }
        });
}

void MenuBuilder::launchMediaApp(const JsonObject& app, const JsonObject& device) {
    const std::string deviceId = identifierText(device, "id");
    const std::string appId = identifierText(app, "id");
    if (deviceId.empty() || appId.empty()) {
        return;
    }
    client.launchDeviceApp(deviceId, appId, [weak = lifetime_.weak()](Result<void> result) {
        if (weak.expired() || result.ok() || isCancellationError(result.error())) {
            return;
        }
        showError(result.error());
    });
}

void MenuBuilder::loadMissingMediaAppIcons(const std::vector<JsonObject>& apps) {
    auto& diagnostics = RuntimeDiagnostics::menuBar();
    CostLimitedImageCache& cache = sharedMediaAppIconCache();
    for (const JsonObject& app : apps) {
        if (MediaAppIcons::builtInSymbol(identifierText(app, "id"))) {
            continue;
        }
        const std::string address = string(app, "iconUrl");
        auto url = Url::parse(address);
        if (!url) {
            continue;
        }
        const std::string scheme = lowercased(url->scheme);
        if (scheme != "http" && scheme != "https") {
            continue;
        }
        const std::string key = mediaAppIconKey(app);
        if (key.empty()) {
            continue;
        }
        if (cache.image(key)) {
            diagnostics.count("media_app_icon_cache_hit");
            continue;
        }
        if (mediaAppIconTasks.contains(key)) {
            continue;
        }
        diagnostics.event("media_app_icon_load_started");
        const auto weak = lifetime_.weak();
        mediaAppIconTasks[key] = fetchMediaAppIcon(address, [this, weak,
                                                             key](MediaAppIconFetchResult result) {
            // A cancelled download leaves no trace, even when its bytes arrived.
            if (weak.expired() ||
                (!result.image.ok() && isCancellationError(result.image.error()))) {
                return;
            }
            auto running = mediaAppIconTasks.find(key);
            if (running == mediaAppIconTasks.end() ||
                running->second.state().get() != result.task) {
                return;
            }
            mediaAppIconTasks.erase(running);
            // Never shown: the tile keeps its symbol, and the failure is only counted.
            auto& events = RuntimeDiagnostics::menuBar();
            if (!result.image.ok()) {
                events.count("media_app_icon_load_failed");
                return;
            }
            const ImagePtr& image = result.image.value();
            CostLimitedImageCache& icons = sharedMediaAppIconCache();
            icons.insert(image, key);
            events.event("media_app_icon_load_completed");
            events.gauge("media_app_icon_cache_entries", icons.count());
            for (const auto& [deviceId, grids] : mediaAppGrids) {
                auto cached = mediaAppCache.find(deviceId);
                if (!mediaAppsModeDeviceIds.contains(deviceId) || cached == mediaAppCache.end()) {
                    continue;
                }
                for (const auto& weakGrid : grids) {
                    auto grid = weakGrid.lock();
                    if (!grid) {
                        continue;
                    }
                    for (const JsonObject& app : cached->second) {
                        if (mediaAppIconKey(app) == key) {
                            grid->updateImage(identifierText(app, "id"), key, image);
                        }
                    }
                }
            }
        });
    }
}

void MenuBuilder::cancelMediaAppIconTasks(const std::set<std::string, std::less<>>& except) {
    for (auto it = mediaAppIconTasks.begin(); it != mediaAppIconTasks.end();) {
        if (except.contains(it->first)) {
            ++it;
            continue;
        }
        it->second.cancel();
        it = mediaAppIconTasks.erase(it);
        RuntimeDiagnostics::menuBar().count("media_app_icon_request_cancelled");
    }
}

}  // namespace corvix

// The builder's device rows (power, level, climate, sensor and command rows) and the runners
// every device control sends its commands through.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <utility>

#include "app/RuntimeDiagnostics.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "hub/OrbeluneClient.h"
#include "menu/MenuBuilder.h"
#include "menu/MenuRowSupport.h"
#include "menu/StayOpenSlider.h"
#include "menu/StayOpenStepper.h"
#include "platform/AsciiText.h"
#include "platform/ui/Button.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TextField.h"
#include "state/CommandFailure.h"
#include "state/DeviceControl.h"

namespace corvix {

namespace {

/// Shown for a level that cannot be written as a whole number.
constexpr const char* kNoLevel = "\u2013";

/// A level as a whole number, halves away from zero; none when it is not finite or beyond
/// the 64-bit range, where no whole number can be written or sent.
std::optional<std::int64_t> wholeNumber(double value) {
    constexpr double kInt64Limit = 9223372036854775808.0;  // 2^63, exact in a double
    const double rounded = std::round(value);
    if (!std::isfinite(rounded) || rounded < -kInt64Limit || rounded >= kInt64Limit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(rounded);
}

std::string levelText(double value) {
    const auto whole = wholeNumber(value);
    return whole ? std::to_string(*whole) : kNoLevel;
}

/// Every word with an upper-case first letter and the rest lower-case ("fan_only" stays one
/// word: "Fan_only").
std::string capitalized(const std::string& text) {
    std::string out = asciiLowercased(text);
    bool wordStart = true;
    for (char& c : out) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            wordStart = true;
        } else if (wordStart) {
            c = asciiUpper(c);
            wordStart = false;
        }
    }
    return out;
}

bool hasCommandList(const JsonObject* commands) {
    if (!commands) {
        return false;
    }
    for (const char* list : {"primary", "navigation", "media", "other"}) {
        if (!array(*commands, list).empty()) {
            return true;
        }
    }
    return false;
}

std::string climateSummary(const JsonObject& climate) {
    std::vector<std::string> parts;
    if (auto now = optionalDouble(climate, "currentTemperature")) {
        parts.push_back("Now " + formatNumber(*now));
    }
    if (auto target = optionalDouble(climate, "targetTemperature")) {
        parts.push_back("Target " + formatNumber(*target));
    }
    if (const std::string mode = identifierText(climate, "mode"); !mode.empty()) {
        parts.push_back(capitalized(mode));
    }
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : "  ") + part;
    }
    return text;
}

double climateTarget(const JsonObject& climate) {
    return optionalDouble(climate, "targetTemperature")
        .value_or(optionalDouble(climate, "currentTemperature").value_or(22));
}

/// The command a climate member names: none when the member is not a string (the row is left
/// out), possibly empty (the row shows, disabled).
std::optional<std::string> climateCommand(const JsonObject& climate, std::string_view key) {
    const json::value* value = member(climate, key);
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    return std::string(value->get_string());
}

std::string sensorText(const JsonObject& sensor) {
    std::string text;
    if (auto temperature = optionalDouble(sensor, "temperature")) {
        text = "Temperature " + formatNumber(*temperature);
    }
    if (auto humidity = optionalDouble(sensor, "humidity")) {
        text += (text.empty() ? "" : "  ") + ("Humidity " + formatNumber(*humidity) + "%");
    }
    return text.empty() ? "No sensor readings" : text;
}

std::string buttonTitle(const JsonObject& record) {
    if (std::string label = identifierText(record, "label"); !label.empty()) {
        return label;
    }
    if (std::string key = identifierText(record, "key"); !key.empty()) {
        return key;
    }
    return "Run";
}

template <typename T>
T* subviewOf(const View& view) {
    for (const auto& subview : view.subviews()) {
        if (auto* found = dynamic_cast<T*>(subview.get())) {
            return found;
        }
    }
    return nullptr;
}

/// The labels of a row, in the order they were added.
std::vector<TextField*> labelsOf(const View& view) {
    std::vector<TextField*> labels;
    for (const auto& subview : view.subviews()) {
        if (auto* field = dynamic_cast<TextField*>(subview.get())) {
            labels.push_back(field);
        }
    }
    return labels;
}

/// Shows `subtitle` in a submenu or action row (title label, then an optional subtitle label):
/// in place while the row keeps having one or not, else through a fresh view, whose layout
/// depends on it.
void showSubtitle(MenuItem& item, const std::optional<std::string>& subtitle,
                  const std::function<std::shared_ptr<MenuItem>()>& makeRow) {
    const std::vector<TextField*> labels =
        item.view() ? labelsOf(*item.view()) : std::vector<TextField*>{};
    const bool shown = labels.size() >= 2;
    if (shown == subtitle.has_value() && !labels.empty()) {
        if (subtitle) {
            labels[1]->setStringValue(*subtitle);
        }
        return;
    }
    item.setView(makeRow()->view());
}

}  // namespace

// Choosing the entry.

void MenuBuilder::onDeviceUpdate(RecordUpdate update) {
    if (!deviceLocator_ || !currentDevice_) {
        return;
    }
    deviceUpdates_.push_back(std::move(update));
}

void MenuBuilder::addDevice(const SharedRecord& device, StayOpenMenu& parent,
                            const RecordLocator& locate) {
    if (!corvixSectionEnabled(corvixSectionAppleTVKey) && supportsDeviceApps(*device)) {
        return;
    }
    // The rows added below register their updates against this device.
    RecordLocator previousLocator = std::exchange(deviceLocator_, locate);
    SharedRecord previousDevice = std::exchange(currentDevice_, device);
    std::vector<RecordUpdate> previousUpdates = std::exchange(deviceUpdates_, {});

    addDeviceEntry(device, parent);
    if (!deviceUpdates_.empty()) {
        // One registration for all of them: the newer record is found and checked once.
        auto updates = std::make_shared<const std::vector<RecordUpdate>>(std::move(deviceUpdates_));
        onRecordUpdate(locate, *device, [updates](const SharedRecord& newer) {
            for (const auto& update : *updates) {
                update(newer);
            }
        });
    }

    deviceLocator_ = std::move(previousLocator);
    currentDevice_ = std::move(previousDevice);
    deviceUpdates_ = std::move(previousUpdates);
}

void MenuBuilder::addDeviceEntry(const SharedRecord& deviceRecord, StayOpenMenu& parent) {
    const JsonObject& device = *deviceRecord;
    const std::string name = string(device, "name", "Device");
    const std::string kind = string(device, "kind", "device");
    const JsonObject* commands = objectMember(device, "commands");
    const bool hasCommands = hasCommandList(commands);

    if (kind == "light") {
        addLightDevice(deviceRecord, parent);
        return;
    }
    if (objectMember(device, "brightness") || objectMember(device, "climate") ||
        objectMember(device, "sensor") || hasCommands) {
        addDeviceSubmenu(deviceRecord, parent);
        return;
    }
    if (const JsonObject* power = objectMember(device, "power")) {
        parent.addItem(powerItem(name, deviceRecord, *power));
        return;
    }
    if (const ObjectList items = array(device, "items"); !items.empty()) {
        const std::string itemId = identifierText(*items.front(), "id");
        const std::string icon = deviceSymbol(kind);
        const auto weak = lifetime_.weak();
        auto makeRow = [this, weak, name, icon, itemId](const std::optional<std::string>& status) {
            return actionItem(name, icon, status, true, name, [this, weak, itemId] {
                if (!weak.expired()) {
                    runItemWithId(itemId, std::nullopt);
                }
            });
        };
        auto row = makeRow(statusText(device));
        std::weak_ptr<MenuItem> weakRow = row;
        onDeviceUpdate([weakRow, makeRow](const SharedRecord& newer) {
            if (auto current = weakRow.lock()) {
                const auto status = statusText(*newer);
                showSubtitle(*current, status, [&] { return makeRow(status); });
            }
        });
        parent.addItem(row);
        return;
    }
    parent.addItem(disabledLine(name));
}

void MenuBuilder::addLightDevice(const SharedRecord& deviceRecord, StayOpenMenu& parent) {
    const JsonObject& device = *deviceRecord;
    const JsonObject* color = objectMember(device, "color");
    const JsonObject* colorTemperature = objectMember(device, "colorTemperature");
    if (objectMember(device, "brightness") || objectMember(device, "power") ||
        hasLightColorControls(color, colorTemperature)) {
        if (auto lightRow = makeLightMenuItem(deviceRecord, parent)) {
            parent.addItem(lightRow);
            return;
        }
    }
    const std::string name = string(device, "name", "Light");
    auto row = submenuItem(name, "lightbulb", statusText(device));
    auto submenu = StayOpenMenu::make();
    auto header = std::make_shared<View>(Rect(0, 0, width, 32));
    addIcon("lightbulb", *header, 8);
    header->addSubview(rowLabel(name, Rect(40, 7, 228, 17), Font::system(13)));
    submenu->addItem(itemWithView(name, header));
    row->setSubmenu(submenu);
    std::weak_ptr<MenuItem> weakRow = row;
    onDeviceUpdate([this, weakRow, name](const SharedRecord& newer) {
        if (auto current = weakRow.lock()) {
            const auto status = statusText(*newer);
            showSubtitle(*current, status, [&] { return submenuItem(name, "lightbulb", status); });
        }
    });
    parent.addItem(row);
}

void MenuBuilder::addDeviceSubmenu(const SharedRecord& deviceRecord, StayOpenMenu& parent) {
    const JsonObject& device = *deviceRecord;
    const std::string name = string(device, "name", "Device");
    const std::string kind = string(device, "kind", "device");
    const std::string icon = deviceSymbol(kind);
    auto row = submenuItem(name, icon, statusText(device));
    auto submenu = StayOpenMenu::make();

    if (kind == "media") {
        buildMediaDeviceSubmenu(device, *submenu);
    } else if (const JsonObject* power = objectMember(device, "power")) {
        submenu->addItem(powerItem(name, deviceRecord, *power));
    }
    if (const JsonObject* brightness = objectMember(device, "brightness")) {
        if (kind == "climate") {
            // A fan the hub cannot set is left out.
            if (!identifierText(*brightness, "command").empty()) {
                submenu->addItem(sliderItem("Fan", device, *brightness, "fanSpeed"));
            }
        } else if (kind != "media") {
            submenu->addItem(sliderItem("Brightness", device, *brightness, "brightness"));
        }
    }
    if (objectMember(device, "climate")) {
        addClimate(device, *submenu);
    }
    if (kind != "media") {
        if (const JsonObject* sensor = objectMember(device, "sensor")) {
            submenu->addItem(sensorDeviceItem(*sensor));
        }
        ObjectList navigation, media, primaryAndOther;
        if (const JsonObject* commands = objectMember(device, "commands")) {
            navigation = actionableCommands(array(*commands, "navigation"));
            media = actionableCommands(array(*commands, "media"));
            ObjectList joined = array(*commands, "primary");
            const ObjectList other = array(*commands, "other");
            joined.insert(joined.end(), other.begin(), other.end());
            primaryAndOther = actionableCommands(joined);
        }
        const std::pair<const char*, const ObjectList*> sections[] = {
            {"Navigation", &navigation}, {"Media", &media}, {"Commands", &primaryAndOther}};
        for (const auto& [title, records] : sections) {
            if (!records->empty()) {
                submenu->addItem(MenuItem::separator());
                submenu->addItem(commandGridItem(title, *records, device));
            }
        }
    }

    row->setSubmenu(submenu);
    std::weak_ptr<MenuItem> weakRow = row;
    onDeviceUpdate([this, weakRow, name, icon](const SharedRecord& newer) {
        if (auto current = weakRow.lock()) {
            const auto status = statusText(*newer);
            showSubtitle(*current, status, [&] { return submenuItem(name, icon, status); });
        }
    });
    parent.addItem(row);
}

// Rows.

std::shared_ptr<MenuItem> MenuBuilder::powerItem(std::string_view title, const SharedRecord& device,
                                                 const JsonObject& power) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 32));
    addIcon("power", *view, 8);
    view->addSubview(rowLabel(title, Rect(40, 7, 228, 17), Font::system(13)));
    auto toggleSwitch = std::make_shared<OrbeluneToggleSwitch>(Rect(268, 4, 44, 24));
    toggleSwitch->setOn(optionalBool(power, "isOn").value_or(false));
    toggleSwitch->setAccessibilityLabel(std::string(title));
    toggleSwitch->setEnabled(true);

    // The runner reads the records when the switch flips, after updates may have replaced them.
    auto live = std::make_shared<std::pair<SharedRecord, SharedRecord>>(
        device, sharedRecord(device, &power));
    std::weak_ptr<OrbeluneToggleSwitch> weakSwitch = toggleSwitch;
    const auto weak = lifetime_.weak();
    toggleSwitch->setTarget(retainTarget([this, weak, weakSwitch, live] {
        auto control = weakSwitch.lock();
        if (!weak.expired() && control) {
            runPower(*live->first, *live->second, control->isOn(), weakSwitch);
        }
    }));
    view->addSubview(toggleSwitch);
    onDeviceUpdate([weakSwitch, live](const SharedRecord& newer) {
        const JsonObject* newerPower = objectMember(*newer, "power");
        auto control = weakSwitch.lock();
        if (!newerPower || !control) {
            return;
        }
        *live = {newer, sharedRecord(newer, newerPower)};
        control->setOn(optionalBool(*newerPower, "isOn").value_or(false));
    });

    auto item = itemWithView(title, view);
    item->setEnabled(true);
    return item;
}

std::shared_ptr<MenuItem> MenuBuilder::sliderItem(std::string_view title, const JsonObject& device,
                                                  const JsonObject& control,
                                                  std::string_view payloadKey) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 38));
    view->addSubview(
        rowLabel(title, Rect(14, 19, 90, 17), Font::system(12), secondaryLabelColor()));
    auto slider = std::make_shared<StayOpenSlider>(Rect(96, 8, 174, 22));
    slider->stayOpenMenu = menu;
    slider->setContinuous(true);
    auto valueLabel = rowLabel("", Rect(278, 10, 34, 17), Font::system(12), secondaryLabelColor());
    valueLabel->setAlignment(TextAlignment::Right);

    // What the row shows and sends, from one control record.
    struct Live {
        std::string deviceId;
        std::string command;
    };
    auto live = std::make_shared<Live>();
    std::weak_ptr<StayOpenSlider> weakSlider = slider;
    std::weak_ptr<TextField> weakLabel = valueLabel;
    auto show = [weakSlider, weakLabel, live](const JsonObject& newerDevice,
                                              const JsonObject& newer) {
        auto s = weakSlider.lock();
        auto label = weakLabel.lock();
        if (!s || !label) {
            return;
        }
        const double minimum = optionalDouble(newer, "min").value_or(0);
        const double value =
            optionalDouble(newer, "value").value_or(optionalDouble(newer, "min").value_or(0));
        live->deviceId = identifierText(newerDevice, "id");
        live->command = identifierText(newer, "command");
        s->setMinValue(minimum);
        s->setMaxValue(optionalDouble(newer, "max").value_or(100));
        s->setDoubleValue(value);
        // A slider that sends nothing must not look as if it did.
        s->setEnabled(!live->command.empty());
        label->setStringValue(levelText(value));
    };
    show(device, control);

    const std::string key(payloadKey);
    const auto weak = lifetime_.weak();
    slider->setTarget(retainTarget([this, weak, weakSlider, weakLabel, live, key] {
        auto s = weakSlider.lock();
        auto label = weakLabel.lock();
        if (weak.expired() || !s || !label) {
            return;
        }
        const auto v = wholeNumber(s->doubleValue());
        label->setStringValue(v ? std::to_string(*v) : kNoLevel);
        if (!v || live->command.empty()) {
            return;
        }
        JsonObject payload;
        payload[key] = *v;
        payload["level"] = *v;
        payload["value"] = *v;
        payload["percent"] = *v;
        runCommandInOrder(live->deviceId, key, live->command, std::move(payload));
    }));
    view->addSubview(slider);
    view->addSubview(valueLabel);

    onDeviceUpdate([this, weak, weakSlider, show, key](const SharedRecord& newer) {
        auto s = weakSlider.lock();
        const JsonObject* newerControl = objectMember(*newer, "brightness");
        // A held slider and one whose sends are still on their way show the user's value.
        if (weak.expired() || !s || !newerControl || s->isTracking() ||
            sends.busy(SendKey{identifierText(*newer, "id"), key})) {
            return;
        }
        show(*newer, *newerControl);
    });
    return itemWithView(title, view);
}

void MenuBuilder::addClimate(const JsonObject& device, StayOpenMenu& submenu) {
    const JsonObject* climate = objectMember(device, "climate");
    if (!climate) {
        return;
    }
    const std::string deviceId = identifierText(device, "id");

    std::shared_ptr<MenuItem> summaryRow;
    if (const std::string summary = climateSummary(*climate); !summary.empty()) {
        summaryRow = disabledLine(summary);
        submenu.addItem(summaryRow);
    }

    SegmentedControl* modeControl = nullptr;
    const std::vector<std::string> modes = stringArray(*climate, "modes");
    const std::optional<std::string> modeCommand = climateCommand(*climate, "modeCommand");
    if (!modes.empty() && modeCommand) {
        std::function<void(const std::string&)> action;
        if (!modeCommand->empty()) {
            const auto weak = lifetime_.weak();
            action = [this, weak, deviceId, command = *modeCommand](const std::string& mode) {
                if (!weak.expired()) {
                    runCommandInOrder(deviceId, kClimateModeControl, command,
                                      JsonObject{{"mode", mode}});
                }
            };
        }
        auto row = segmentedItem("Mode", modes, identifierText(*climate, "mode"), action);
        modeControl = subviewOf<SegmentedControl>(*row->view());
        submenu.addItem(row);
    }

    StayOpenStepper* stepper = nullptr;
    TextField* stepperLabel = nullptr;
    if (const auto targetCommand = climateCommand(*climate, "targetCommand")) {
        std::function<void(double)> action;
        if (!targetCommand->empty()) {
            const auto weak = lifetime_.weak();
            action = [this, weak, deviceId, command = *targetCommand](double temperature) {
                if (!weak.expired()) {
                    runCommandInOrder(deviceId, kClimateTargetControl, command,
                                      JsonObject{{"temperature", temperature}});
                }
            };
        }
        auto row = stepperItem("Temperature", climateTarget(*climate), 5, 35, 0.5, action);
        stepper = subviewOf<StayOpenStepper>(*row->view());
        const auto labels = labelsOf(*row->view());
        stepperLabel = labels.size() > 1 ? labels[1] : nullptr;
        submenu.addItem(row);
    }

    std::weak_ptr<MenuItem> weakSummary = summaryRow;
    std::weak_ptr<SegmentedControl> weakMode =
        modeControl ? std::static_pointer_cast<SegmentedControl>(modeControl->shared_from_this())
                    : nullptr;
    std::weak_ptr<StayOpenStepper> weakStepper =
        stepper ? std::static_pointer_cast<StayOpenStepper>(stepper->shared_from_this()) : nullptr;
    std::weak_ptr<TextField> weakStepperLabel =
        stepperLabel ? std::static_pointer_cast<TextField>(stepperLabel->shared_from_this())
                     : nullptr;
    onDeviceUpdate([this, weak = lifetime_.weak(), weakSummary, weakMode, weakStepper,
                    weakStepperLabel, modes](const SharedRecord& newer) {
        const JsonObject* newerClimate = objectMember(*newer, "climate");
        if (weak.expired() || !newerClimate) {
            return;
        }
        const std::string id = identifierText(*newer, "id");
        if (auto summary = weakSummary.lock()) {
            const std::string text = climateSummary(*newerClimate);
            summary->setHidden(text.empty());
            if (!text.empty()) {
                summary->setTitle(text);
            }
        }
        if (auto mode = weakMode.lock();
            mode && !mode->isTracking() && !sends.busy(SendKey{id, kClimateModeControl})) {
            const std::string selected = asciiLowercased(identifierText(*newerClimate, "mode"));
            int index = -1;
            for (int i = 0; i < mode->segmentCount(); ++i) {
                if (asciiLowercased(modes[static_cast<std::size_t>(i)]) == selected) {
                    index = i;
                    break;
                }
            }
            mode->setSelectedSegment(index);
        }
        auto s = weakStepper.lock();
        auto label = weakStepperLabel.lock();
        if (s && label && !s->isTracking() && !sends.busy(SendKey{id, kClimateTargetControl})) {
            s->setDoubleValue(climateTarget(*newerClimate));
            label->setStringValue(formatNumber(s->doubleValue()));
        }
    });
}

std::shared_ptr<MenuItem> MenuBuilder::segmentedItem(
    std::string_view title, const std::vector<std::string>& values, std::string_view selected,
    std::function<void(const std::string&)> action) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 38));
    view->addSubview(
        rowLabel(title, Rect(14, 11, 72, 17), Font::system(12), secondaryLabelColor()));
    const std::size_t count = std::min<std::size_t>(values.size(), 4);
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < count; ++i) {
        labels.push_back(capitalized(values[i]));
    }
    auto control = SegmentedControl::withLabels(labels, SegmentTracking::SelectOne);
    control->setFrame(Rect(84, 6, 228, 26));
    const std::string wanted = asciiLowercased(std::string(selected));
    for (std::size_t i = 0; i < count; ++i) {
        if (asciiLowercased(values[i]) == wanted) {
            control->setSelectedSegment(static_cast<int>(i));
            break;
        }
    }
    control->setEnabled(static_cast<bool>(action));
    std::weak_ptr<SegmentedControl> weakControl = control;
    control->setTarget(retainTarget([weakControl, values, action] {
        auto c = weakControl.lock();
        if (!c || !action) {
            return;
        }
        const int index = c->selectedSegment();
        if (index >= 0 && static_cast<std::size_t>(index) < values.size()) {
            action(values[static_cast<std::size_t>(index)]);
        }
    }));
    view->addSubview(control);
    return itemWithView(title, view);
}

std::shared_ptr<MenuItem> MenuBuilder::stepperItem(std::string_view title, double value,
                                                   double minimum, double maximum, double step,
                                                   std::function<void(double)> action) {
    auto view = std::make_shared<View>(Rect(0, 0, width, 34));
    view->addSubview(
        rowLabel(title, Rect(14, 9, 112, 17), Font::system(12), secondaryLabelColor()));
    auto valueLabel = rowLabel(formatNumber(value), Rect(222, 9, 46, 17), Font::system(13));
    valueLabel->setAlignment(TextAlignment::Right);
    view->addSubview(valueLabel);
    auto stepper = std::make_shared<StayOpenStepper>(Rect(274, 4, 26, 24));
    stepper->setMinValue(minimum);
    stepper->setMaxValue(maximum);
    stepper->setIncrement(step);
    stepper->setDoubleValue(value);
    stepper->stayOpenMenu = menu;
    stepper->setEnabled(static_cast<bool>(action));
    std::weak_ptr<StayOpenStepper> weakStepper = stepper;
    std::weak_ptr<TextField> weakLabel = valueLabel;
    stepper->setTarget(retainTarget([weakStepper, weakLabel, action] {
        auto s = weakStepper.lock();
        auto label = weakLabel.lock();
        if (!s || !label || !action) {
            return;
        }
        label->setStringValue(formatNumber(s->doubleValue()));
        action(s->doubleValue());
    }));
    view->addSubview(stepper);
    return itemWithView(title, view);
}

std::shared_ptr<MenuItem> MenuBuilder::sensorDeviceItem(const JsonObject& sensor) {
    auto item = disabledLine(sensorText(sensor));
    std::weak_ptr<MenuItem> weakItem = item;
    onDeviceUpdate([weakItem](const SharedRecord& newer) {
        const JsonObject* newerSensor = objectMember(*newer, "sensor");
        if (auto current = weakItem.lock(); current && newerSensor) {
            current->setTitle(sensorText(*newerSensor));
        }
    });
    return item;
}

std::shared_ptr<MenuItem> MenuBuilder::commandGridItem(std::string_view title,
                                                       const ObjectList& commands,
                                                       const JsonObject& device) {
    const std::size_t count = commands.size();
    const std::size_t rows = (count + 2) / 3;
    // The last row of buttons keeps 6 points above the row's bottom edge: flush with it, its
    // bezel ran under the edge of the menu when the grid was a submenu's last row.
    const double height = static_cast<double>(std::max<std::size_t>(rows, 1)) * 24 +
                          static_cast<double>(rows > 0 ? rows - 1 : 0) * 6 + 28 + 6;
    auto view = std::make_shared<View>(Rect(0, 0, width, height));
    view->addSubview(
        rowLabel(title, Rect(14, height - 20, 160, 17), Font::system(12), secondaryLabelColor()));
    const auto weak = lifetime_.weak();
    const std::string deviceId = identifierText(device, "id");
    for (std::size_t i = 0; i < count; ++i) {
        const JsonObject& record = *commands[i];
        auto button = Button::push(buttonTitle(record));
        button->setFrame(Rect(14 + 95 * static_cast<double>(i % 3),
                              height - 52 - 30 * static_cast<double>(i / 3), 88, 24));
        button->setBezelStyle(BezelStyle::Rounded);
        button->setControlSize(ControlSize::Small);
        button->setFont(Font::system(11));
        const std::string itemId = identifierText(record, "itemId");
        const std::string key = identifierText(record, "key");
        // A button that would do nothing does not look as if it could.
        button->setEnabled(!itemId.empty() || !key.empty());
        button->setTarget(retainTarget([this, weak, deviceId, itemId, key] {
            if (weak.expired()) {
                return;
            }
            if (!itemId.empty()) {
                runItemShowingEveryFailure(itemId);
            } else if (!key.empty()) {
                runDeviceCommand(deviceId, key, JsonObject{});
            }
        }));
        view->addSubview(button);
    }
    return itemWithView(title, view);
}

// Runners.

std::function<void(Result<void>)> MenuBuilder::commandOutcome(std::function<void()> setBack) {
    return [this, weak = lifetime_.weak(), setBack = std::move(setBack)](Result<void> result) {
        if (weak.expired()) {
            return;
        }
        if (result.ok()) {
            if (refresh) {
                refresh();
            }
            return;
        }
        if (setBack) {
            setBack();
        }
        const Error& failure = result.error();
        if (isCancellationError(failure)) {
            return;
        }
        if (isUnsupportedError(failure)) {
            if (refresh) {
                refresh();
            }
            return;
        }
        showError(failure);
    };
}

void MenuBuilder::runPower(const JsonObject& device, const JsonObject& power, bool desired,
                           const std::weak_ptr<OrbeluneToggleSwitch>& control,
                           std::function<void()> didSetBack) {
    auto setBack = [control, desired, didSetBack] {
        if (auto toggleSwitch = control.lock()) {
            toggleSwitch->setOn(!desired);
        }
        if (didSetBack) {
            didSetBack();
        }
    };
    const PowerResolution resolution = resolvePower(device, power, desired);
    switch (resolution.kind) {
        case PowerResolution::Kind::RunItem:
            client.runItem(resolution.itemId, desired, commandOutcome(setBack));
            return;
        case PowerResolution::Kind::RunCommand:
            runCommandObject(JsonObject(*resolution.command), device, setBack);
            return;
        case PowerResolution::Kind::NoPowerCommand:
            setBack();
            showError(noPowerCommandError());
            return;
    }
}

void MenuBuilder::runCommand(const JsonObject& device, std::string_view command,
                             const JsonObject& payload) {
    runDeviceCommand(identifierText(device, "id"), command, payload);
}

void MenuBuilder::runDeviceCommand(const std::string& deviceId, std::string_view command,
                                   const JsonObject& payload) {
    if (deviceId.empty() || command.empty()) {
        return;
    }
    client.runCommand(deviceId, command, payload, commandOutcome());
}

void MenuBuilder::runCommandObject(const JsonObject& record, const JsonObject& device,
                                   std::function<void()> setBack) {
    if (const std::string itemId = identifierText(record, "itemId"); !itemId.empty()) {
        client.runItem(itemId, std::nullopt, commandOutcome(std::move(setBack)));
        return;
    }
    const std::string key = identifierText(record, "key");
    const std::string deviceId = identifierText(device, "id");
    // Without a device id there is no command path to post to.
    if (key.empty() || deviceId.empty()) {
        if (setBack) {
            setBack();
        }
        return;
    }
    client.runCommand(deviceId, key, JsonObject{}, commandOutcome(std::move(setBack)));
}

void MenuBuilder::runCommandInOrder(const std::string& deviceId, std::string_view control,
                                    const std::string& command, JsonObject payload) {
    if (deviceId.empty() || command.empty()) {
        return;
    }
    OrderedSend value;
    value.operation = command;
    value.payload = std::move(payload);
    value.start = [this, weak = lifetime_.weak(), deviceId, command,
                   payload = value.payload](OrderedSend::Done done) {
        if (weak.expired()) {
            return false;
        }
        client.runCommand(deviceId, command, payload, std::move(done));
        return true;
    };
    value.outcome = commandOutcome();
    if (!sends.send(SendKey{deviceId, std::string(control)}, std::move(value))) {
        RuntimeDiagnostics::menuBar().count("device_command_coalesced");
    }
}

void MenuBuilder::runItemShowingEveryFailure(const std::string& itemId) {
    // An item the hub refuses is told, even when it says it is unsupported.
    client.runItem(itemId, std::nullopt, [this, weak = lifetime_.weak()](Result<void> result) {
        if (weak.expired()) {
            return;
        }
        if (result.ok()) {
            if (refresh) {
                refresh();
            }
        } else if (!isCancellationError(result.error())) {
            showError(result.error());
        }
    });
}

}  // namespace corvix

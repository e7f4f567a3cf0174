#include "menu/OrbeluneLightMenuItem.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <utility>

#include "controls/InlineColorControls.h"
#include "controls/OrbeluneToggleSwitch.h"
#include "hub/OrderedSends.h"
#include "menu/MenuBuilder.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Symbols.h"
#include "platform/ui/Window.h"
#include "state/DeviceControl.h"

namespace corvix {

namespace {

constexpr double kSliderWidth = 68;
constexpr double kButtonSize = 18;
constexpr double kPickerY = 4;

/// A value as a whole number to send, halves away from zero; none when it has no such form.
std::optional<std::int64_t> wholeNumber(double value) {
    constexpr double kInt64Limit = 9223372036854775808.0;  // 2^63
    const double rounded = std::round(value);
    if (!std::isfinite(rounded) || rounded < -kInt64Limit || rounded >= kInt64Limit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(rounded);
}

double number(const SharedRecord& control, std::string_view key, double fallback) {
    return control ? optionalDouble(*control, key).value_or(fallback) : fallback;
}

/// `control` with `values` written over its members, as a record of its own.
SharedRecord edited(const SharedRecord& control,
                    std::initializer_list<std::pair<std::string_view, json::value>> values) {
    auto copy = std::make_shared<JsonObject>(*control);
    for (const auto& [key, value] : values) {
        (*copy)[key] = value;
    }
    return copy;
}

}  // namespace

std::shared_ptr<OrbeluneLightMenuItem> OrbeluneLightMenuItem::make(
    const SharedRecord& device, const JsonObject* brightness, const JsonObject* color,
    const JsonObject* colorTemperature, const JsonObject* power, double menuWidth,
    std::weak_ptr<StayOpenMenu> menu, RetainTarget retainTarget, RunPower runPower,
    RunCommand runCommand, ColorPayload colorPayload, IsSending isSending) {
    auto item = std::make_shared<OrbeluneLightMenuItem>(
        device, brightness, color, colorTemperature, power, menuWidth, std::move(menu),
        std::move(retainTarget), std::move(runPower), std::move(runCommand),
        std::move(colorPayload), std::move(isSending));
    item->configureControls();
    item->relayout();
    return item;
}

OrbeluneLightMenuItem::OrbeluneLightMenuItem(
    const SharedRecord& device, const JsonObject* brightness, const JsonObject* color,
    const JsonObject* colorTemperature, const JsonObject* power, double menuWidth,
    std::weak_ptr<StayOpenMenu> menu, RetainTarget retainTarget, RunPower runPower,
    RunCommand runCommand, ColorPayload colorPayload, IsSending isSending)
    : MenuItem(string(*device, "name", "Light")),
      device(device),
      brightness(sharedRecord(device, brightness)),
      color(sharedRecord(device, color)),
      colorTemperature(sharedRecord(device, colorTemperature)),
      power(sharedRecord(device, power)),
      menuWidth(menuWidth),
      owningMenu(std::move(menu)),
      runPower(std::move(runPower)),
      runCommand(std::move(runCommand)),
      colorPayload(std::move(colorPayload)),
      isSending(std::move(isSending)),
      retainTarget(std::move(retainTarget)) {
    const std::string name = title();
    containerView = std::make_shared<View>(Rect(0, 0, menuWidth, collapsedHeight));
    iconView = ImageView::withImage(systemSymbolImage("lightbulb", "Light"));
    iconView->setFrame(Rect(14, 9, 16, 16));
    iconView->setContentTintColor(Color::system(SystemColor::SecondaryLabel));
    iconView->setImageScaling(ImageScaling::ProportionallyUpOrDown);
    containerView->addSubview(iconView);
    nameLabel = rowLabel(name, Rect(40, 8, 120, 17), Font::system(13));
    containerView->addSubview(nameLabel);
    toggleSwitch = std::make_shared<OrbeluneToggleSwitch>(Rect(menuWidth - 58, 5, 44, 24));
    toggleSwitch->setOn(this->power && optionalBool(*this->power, "isOn").value_or(false));
    toggleSwitch->setAccessibilityLabel(name + " power");
    containerView->addSubview(toggleSwitch);
    setView(containerView);
}

std::string OrbeluneLightMenuItem::command(const SharedRecord& control) const {
    return control ? identifierText(*control, "command") : std::string();
}

bool OrbeluneLightMenuItem::sending(std::string_view control) const {
    return isSending && isSending(*device, control);
}

void OrbeluneLightMenuItem::configureControls() {
    const std::weak_ptr<OrbeluneLightMenuItem> weak =
        std::static_pointer_cast<OrbeluneLightMenuItem>(shared_from_this());
    const std::string name = title();

    if (power) {
        auto target = ButtonTarget::make([weak] {
            if (auto item = weak.lock()) {
                item->powerChanged();
            }
        });
        if (retainTarget) {
            retainTarget(target);
        }
        toggleSwitch->setTarget(target);
    } else {
        toggleSwitch->setEnabled(false);
    }

    // The buttons start left of the slider's place whether or not there is a slider.
    const double sliderX = menuWidth - 58 - kSliderWidth - 8;
    nextButtonX = sliderX - 8;

    if (!command(brightness).empty()) {
        brightnessSlider = std::make_shared<StayOpenSlider>(Rect(sliderX, 7, kSliderWidth, 22));
        brightnessSlider->setContinuous(true);
        brightnessSlider->setMinValue(number(brightness, "min", 0));
        brightnessSlider->setMaxValue(number(brightness, "max", 100));
        brightnessSlider->setDoubleValue(number(brightness, "value", number(brightness, "min", 0)));
        brightnessSlider->stayOpenMenu = owningMenu;
        brightnessSlider->setAccessibilityLabel(name + " brightness");
        auto target = ButtonTarget::make([weak] {
            if (auto item = weak.lock()) {
                item->brightnessChanged();
            }
        });
        if (retainTarget) {
            retainTarget(target);
        }
        brightnessSlider->setTarget(target);
        containerView->addSubview(brightnessSlider);
        powerDependentControls.push_back(brightnessSlider);
    }

    auto addButton = [&](InlineColorButtonView::Kind kind, ExpandedMode mode,
                         const std::string& label) {
        nextButtonX -= kButtonSize;
        auto button = std::make_shared<InlineColorButtonView>(
            kind, Rect(nextButtonX, 8, kButtonSize, kButtonSize));
        button->setAccessibilityLabel(label);
        button->stayOpenMenu = owningMenu;
        button->onClick = [weak, mode] {
            if (auto item = weak.lock()) {
                item->toggleMode(mode);
            }
        };
        containerView->addSubview(button);
        powerDependentControls.push_back(button);
        return button;
    };
    if (!command(color).empty()) {
        colorButton =
            addButton(InlineColorButtonView::Kind::rgb, ExpandedMode::color, name + " color");
        nextButtonX -= 6;
    }
    if (!command(colorTemperature).empty()) {
        tempButton = addButton(InlineColorButtonView::Kind::temperature, ExpandedMode::temp,
                               name + " color temperature");
    }
}

bool OrbeluneLightMenuItem::controlsShown() const {
    // Without a power control there is nothing to switch on, so nothing waits for it.
    return !power || toggleSwitch->isOn();
}

void OrbeluneLightMenuItem::relayout() {
    const bool shown = controlsShown();
    for (const auto& control : powerDependentControls) {
        control->setHidden(!shown);
    }

    Window* window = containerView->window();
    const bool pickerFocused = window && pickerView && window->firstResponder() == pickerView.get();
    if (pickerView) {
        pickerView->removeFromSuperview();
        pickerView.reset();
    }

    const bool expanded = shown && expandedMode != ExpandedMode::none;
    const double height = expanded ? expandedHeight : collapsedHeight;
    const double lift = expanded ? expandedHeight - collapsedHeight : 0;
    containerView->setFrame(Rect(0, 0, menuWidth, height));
    auto moveTo = [](View* view, double y) {
        if (view) {
            view->setFrameOrigin({view->frame().minX(), y});
        }
    };
    moveTo(iconView.get(), lift + 9);
    moveTo(nameLabel.get(), lift + 8);
    moveTo(toggleSwitch.get(), lift + 5);
    moveTo(brightnessSlider.get(), lift + 7);
    moveTo(colorButton.get(), lift + 8);
    moveTo(tempButton.get(), lift + 8);
    const Rect nameFrame = nameLabel->frame();
    nameLabel->setFrame(
        Rect(nameFrame.minX(), nameFrame.minY(), std::max(nextButtonX - 46, 40.0), 17));

    if (expanded) {
        pickerView = makePicker();
        const Size size = pickerView->intrinsicContentSize();
        pickerView->setFrame(Rect((menuWidth - size.width) / 2, kPickerY, size.width, size.height));
        containerView->addSubview(pickerView);
    }

    // Keyboard focus follows the picker the user opened from the keyboard or was using.
    if (window) {
        View* focused = window->firstResponder();
        const bool buttonFocused =
            focused && (focused == colorButton.get() || focused == tempButton.get());
        if (pickerView && (buttonFocused || pickerFocused)) {
            window->makeFirstResponder(pickerView.get());
        } else if (!pickerView && pickerFocused) {
            View* button =
                expandedMode == ExpandedMode::temp ? tempButton.get() : colorButton.get();
            window->makeFirstResponder(button && !button->isHidden() ? button : nullptr);
        }
    }
    containerView->setNeedsDisplay();

    if (Menu* owner = menu()) {
        owner->itemChanged(*this);
    }
}

std::shared_ptr<InlinePickerView> OrbeluneLightMenuItem::makePicker() {
    const std::weak_ptr<OrbeluneLightMenuItem> weak =
        std::static_pointer_cast<OrbeluneLightMenuItem>(shared_from_this());
    std::shared_ptr<InlinePickerView> picker;
    if (expandedMode == ExpandedMode::color) {
        picker = std::make_shared<InlineColorPickerView>(
            number(color, "hue", 0), number(color, "saturation", 100),
            [weak](double hue, double saturation, bool isFinal) {
                if (auto item = weak.lock()) {
                    item->colorPicked(hue, saturation, isFinal);
                }
            });
        picker->setAccessibilityLabel(title() + " color picker");
    } else {
        const double minimum = number(colorTemperature, "min", 153);
        const double maximum = number(colorTemperature, "max", 500);
        picker = std::make_shared<InlineTemperaturePickerView>(
            number(colorTemperature, "value", (minimum + maximum) / 2), minimum, maximum,
            [weak](double value) {
                if (auto item = weak.lock()) {
                    item->temperaturePicked(value);
                }
            });
        picker->setAccessibilityLabel(title() + " color temperature picker");
    }
    picker->stayOpenMenu = owningMenu;
    return picker;
}

void OrbeluneLightMenuItem::powerChanged() {
    const bool desired = toggleSwitch->isOn();
    expandedMode = ExpandedMode::none;
    if (runPower && power) {
        const std::weak_ptr<OrbeluneLightMenuItem> weak =
            std::static_pointer_cast<OrbeluneLightMenuItem>(shared_from_this());
        // A failed run sets the switch back; the row must follow it.
        runPower(*device, *power, desired, toggleSwitch, [weak] {
            if (auto item = weak.lock()) {
                item->relayout();
            }
        });
    }
    relayout();
}

void OrbeluneLightMenuItem::brightnessChanged() {
    if (!brightnessSlider) {
        return;
    }
    const auto level = wholeNumber(brightnessSlider->doubleValue());
    if (!level) {
        return;
    }
    // Dimming an off light up switches it on with the hub; dimming it to 0 leaves it off.
    if (power && !toggleSwitch->isOn() && *level != 0) {
        toggleSwitch->setOn(true);
        relayout();
    }
    const std::string name = command(brightness);
    if (runCommand && !name.empty()) {
        runCommand(
            *device, kBrightnessControl, name,
            JsonObject{
                {"brightness", *level}, {"level", *level}, {"value", *level}, {"percent", *level}});
    }
}

void OrbeluneLightMenuItem::toggleMode(ExpandedMode mode) {
    if (!controlsShown()) {
        return;
    }
    expandedMode = expandedMode == mode ? ExpandedMode::none : mode;
    relayout();
}

void OrbeluneLightMenuItem::colorPicked(double hue, double saturation, bool isFinal) {
    const std::string name = command(color);
    if (!isFinal || name.empty()) {
        return;
    }
    const double h = hue >= 360 ? 1 : (hue < 0 || !std::isfinite(hue) ? 0 : hue / 360);
    const double s = std::clamp(std::isfinite(saturation) ? saturation : 0.0, 0.0, 100.0) / 100;
    // The row opens the picker on the value it asked for until the hub tells otherwise.
    color = edited(color, {{"hue", h * 360}, {"saturation", s * 100}});
    if (runCommand && colorPayload) {
        runCommand(*device, kColorControl, name, colorPayload(Color::hsb(h, s, 1, 1)));
    }
}

void OrbeluneLightMenuItem::temperaturePicked(double value) {
    const std::string name = command(colorTemperature);
    const auto mireds = wholeNumber(value);
    if (name.empty() || !mireds) {
        return;
    }
    colorTemperature = edited(colorTemperature, {{"value", *mireds}});
    if (runCommand) {
        runCommand(*device, kColorTemperatureControl, name,
                   JsonObject{{"ct", *mireds},
                              {"colorTemp", *mireds},
                              {"colorTemperature", *mireds},
                              {"mireds", *mireds},
                              {"value", *mireds}});
    }
}

void OrbeluneLightMenuItem::update(const SharedRecord& newer) {
    device = newer;
    // A control whose value is waiting or on its way keeps the user's: the hub's may be older.
    // After the answer the row follows the hub again.
    const bool brightnessSending = sending(kBrightnessControl);
    const bool colorSending = sending(kColorControl);
    const bool temperatureSending = sending(kColorTemperatureControl);
    // A control the newer record leaves out keeps its last form; its row parts stay.
    auto refresh = [&newer](SharedRecord& control, std::string_view key, bool keep) {
        if (const JsonObject* found = objectMember(*newer, key); found && control && !keep) {
            control = sharedRecord(newer, found);
        }
    };
    refresh(brightness, "brightness", brightnessSending);
    refresh(color, "color", colorSending);
    refresh(colorTemperature, "colorTemperature", temperatureSending);
    refresh(power, "power", false);

    if (brightnessSlider && !brightnessSlider->isTracking() && !brightnessSending) {
        brightnessSlider->setMinValue(number(brightness, "min", 0));
        brightnessSlider->setMaxValue(number(brightness, "max", 100));
        brightnessSlider->setDoubleValue(number(brightness, "value", number(brightness, "min", 0)));
    }
    if (pickerView && !pickerView->isTracking()) {
        if (auto* colorPicker = dynamic_cast<InlineColorPickerView*>(pickerView.get());
            colorPicker && !colorSending) {
            colorPicker->setColor(number(color, "hue", 0), number(color, "saturation", 100));
        } else if (auto* tempPicker = dynamic_cast<InlineTemperaturePickerView*>(pickerView.get());
                   tempPicker && !temperatureSending) {
            tempPicker->setValue(number(colorTemperature, "value",
                                        (tempPicker->minValue() + tempPicker->maxValue()) / 2));
        }
    }
    if (power) {
        const bool on = optionalBool(*power, "isOn").value_or(false);
        if (on != toggleSwitch->isOn()) {
            toggleSwitch->setOn(on);
            if (!on) {
                expandedMode = ExpandedMode::none;
            }
            // Rebuilding the picker under a held pointer would drop the drag.
            if (!pickerView || !pickerView->isTracking()) {
                relayout();
            }
        }
    }
}

// The builder's side: the row of a light in a room.

std::shared_ptr<MenuItem> MenuBuilder::makeLightMenuItem(const SharedRecord& device,
                                                         StayOpenMenu&) {
    const auto weak = lifetime_.weak();
    auto item = OrbeluneLightMenuItem::make(
        device, objectMember(*device, "brightness"), objectMember(*device, "color"),
        objectMember(*device, "colorTemperature"), objectMember(*device, "power"), width, menu,
        [this, weak](std::shared_ptr<ButtonTarget> target) {
            if (!weak.expired()) {
                buttonTargets.push_back(std::move(target));
            }
        },
        [this, weak](const JsonObject& light, const JsonObject& power, bool desired,
                     std::weak_ptr<OrbeluneToggleSwitch> control,
                     std::function<void()> didSetBack) {
            if (!weak.expired()) {
                runPower(light, power, desired, control, std::move(didSetBack));
            }
        },
        // Each control of the light keeps its values in order on their way to the hub.
        [this, weak](const JsonObject& light, std::string_view control, std::string_view command,
                     const JsonObject& payload) {
            if (!weak.expired()) {
                runCommandInOrder(identifierText(light, "id"), control, std::string(command),
                                  payload);
            }
        },
        colorPayload,
        [this, weak](const JsonObject& light, std::string_view control) {
            return !weak.expired() &&
                   sends.busy(SendKey{identifierText(light, "id"), std::string(control)});
        });
    std::weak_ptr<OrbeluneLightMenuItem> weakItem = item;
    onDeviceUpdate([weakItem](const SharedRecord& newer) {
        if (auto current = weakItem.lock()) {
            current->update(newer);
        }
    });
    return item;
}

}  // namespace corvix

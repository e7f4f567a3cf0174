#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/ui/Color.h"
#include "state/StateAccessors.h"

namespace corvix {

/// A command name reduced to lower-case words joined by "_": "Turn On" and "turn-on" agree.
std::string commandToken(std::string_view text);

/// The records in order, dropping those whose name ("key", else "label") has an empty or
/// already seen token. Here and below a null name, item id or hint counts as absent.
ObjectList uniqueCommands(const ObjectList& records);
/// `uniqueCommands` without the records that need a payload a button cannot give.
ObjectList actionableCommands(const ObjectList& records);
/// The first record whose "key" or "label" has the token of one of `names`; null when none does.
const JsonObject* commandMatching(const ObjectList& records,
                                  std::span<const std::string_view> names);

// Well-known power command names, in token form.
inline constexpr std::array<std::string_view, 7> powerOnCommandNames{
    "turn_on", "power_on", "on", "light_on", "lights_on", "switch_on", "turn_lights_on"};
inline constexpr std::array<std::string_view, 7> powerOffCommandNames{
    "turn_off", "power_off", "off", "light_off", "lights_off", "switch_off", "turn_lights_off"};
inline constexpr std::array<std::string_view, 7> powerToggleCommandNames{
    "toggle",       "power",         "power_toggle", "toggle_power",
    "light_toggle", "lights_toggle", "switch_toggle"};

/// The hub item that switches `power` to `desired` ("onItemId"/"offItemId", else
/// "toggleItemId"); empty when it names none.
std::string powerItemId(const JsonObject& power, bool desired);
/// The device command that switches it to `desired`, a toggle command failing that; null when
/// the primary and other lists hold neither.
const JsonObject* powerCommand(const JsonObject& device, bool desired);

/// What a power change runs: the control's item, a device command record, or nothing.
struct PowerResolution {
    enum class Kind { RunItem, RunCommand, NoPowerCommand };
    Kind kind = Kind::NoPowerCommand;
    /// The item to run with the desired state (RunItem).
    std::string itemId;
    /// The record to run, pointing into the device (RunCommand).
    const JsonObject* command = nullptr;
};

/// The control's item first, then the device's command lists.
PowerResolution resolvePower(const JsonObject& device, const JsonObject& power, bool desired);
/// The failure shown when a power change finds nothing to run.
Error noPowerCommandError();

/// Either control (null when absent) names a command.
bool hasLightColorControls(const JsonObject* color, const JsonObject* colorTemperature);

/// The subtitle of a device row: why it is unavailable, its temperature or its status.
std::optional<std::string> statusText(const JsonObject& device);
/// A whole number when within 0.01 of one (halves away from zero), else one decimal.
std::string formatNumber(double x);

/// The colour command payload: hue, saturation, RGB and hex of `color` in device RGB.
JsonObject colorPayload(const Color& color);

/// An Apple TV: by its capabilities, or by a driver, name, kind or brand token that says so.
bool supportsDeviceApps(const JsonObject& device);

/// The symbol name of a device kind.
std::string deviceSymbol(std::string_view kind);

}  // namespace corvix

#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menu/StayOpenMenu.h"
#include "menu/StayOpenSlider.h"
#include "platform/ui/ButtonTarget.h"
#include "platform/ui/Color.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/TextField.h"
#include "state/StateAccessors.h"

namespace corvix {

class InlineColorButtonView;
class InlinePickerView;
class OrbeluneToggleSwitch;

/// The compact row of a light: icon, name, the optional brightness slider, colour and colour
/// temperature buttons, and the power switch. A colour button grows the row in place to show
/// its picker under the controls. Commands leave only through the callbacks. Main thread only.
class OrbeluneLightMenuItem : public MenuItem {
  public:
    using RetainTarget = std::function<void(std::shared_ptr<ButtonTarget>)>;
    using RunPower = std::function<void(const JsonObject& device, const JsonObject& power,
                                        bool desired, std::weak_ptr<OrbeluneToggleSwitch> control,
                                        std::function<void()> didSetBack)>;
    /// Sends a value of one of the light's controls (`kBrightnessControl`, `kColorControl`,
    /// `kColorTemperatureControl`) as the device command `command`.
    using RunCommand = std::function<void(const JsonObject& device, std::string_view control,
                                          std::string_view command, const JsonObject& payload)>;
    /// Whether a value of the light's `control` is waiting or on its way to the hub.
    using IsSending = std::function<bool(const JsonObject& device, std::string_view control)>;
    using ColorPayload = std::function<JsonObject(const Color&)>;

    enum class ExpandedMode { none, color, temp };

    /// Builds the row, its controls and its first layout. The controls are members of
    /// `device`. `menu` is kept open while one of the row's controls is in use: the whole
    /// status menu, so a drag that strays outside the row's submenu does not close everything.
    static std::shared_ptr<OrbeluneLightMenuItem> make(
        const SharedRecord& device, const JsonObject* brightness, const JsonObject* color,
        const JsonObject* colorTemperature, const JsonObject* power, double menuWidth,
        std::weak_ptr<StayOpenMenu> menu, RetainTarget retainTarget, RunPower runPower,
        RunCommand runCommand, ColorPayload colorPayload, IsSending isSending);

    /// Creates the optional controls and wires every action.
    void configureControls();
    /// Applies the power state and the open picker to the row, then tells the menu the item
    /// changed so an open menu re-measures it.
    void relayout();
    /// Shows a newer record of the same light; controls the user is holding, and those whose
    /// value is still on its way to the hub, keep their value.
    void update(const SharedRecord& newer);

    static constexpr double collapsedHeight = 34;
    static constexpr double expandedHeight = 90;

    // Fields, in the order the row relies on them. The records are the document's (shared,
    // never changed); a pick replaces its control with an edited copy.
    SharedRecord device;
    SharedRecord brightness, color, colorTemperature, power;
    const double menuWidth;
    const std::weak_ptr<StayOpenMenu> owningMenu;
    const RunPower runPower;
    const RunCommand runCommand;
    const ColorPayload colorPayload;
    const IsSending isSending;
    const RetainTarget retainTarget;
    std::shared_ptr<View> containerView;
    std::shared_ptr<ImageView> iconView;
    std::shared_ptr<TextField> nameLabel;
    std::shared_ptr<OrbeluneToggleSwitch> toggleSwitch;
    std::shared_ptr<StayOpenSlider> brightnessSlider;
    std::shared_ptr<InlineColorButtonView> colorButton, tempButton;
    std::shared_ptr<InlinePickerView> pickerView;
    std::vector<std::shared_ptr<View>> powerDependentControls;
    ExpandedMode expandedMode = ExpandedMode::none;
    double nextButtonX = 0;

    OrbeluneLightMenuItem(const SharedRecord& device, const JsonObject* brightness,
                          const JsonObject* color, const JsonObject* colorTemperature,
                          const JsonObject* power, double menuWidth,
                          std::weak_ptr<StayOpenMenu> menu, RetainTarget retainTarget,
                          RunPower runPower, RunCommand runCommand, ColorPayload colorPayload,
                          IsSending isSending);

  private:
    std::string command(const SharedRecord& control) const;
    bool sending(std::string_view control) const;
    void powerChanged();
    void brightnessChanged();
    void toggleMode(ExpandedMode mode);
    void colorPicked(double hue, double saturation, bool isFinal);
    void temperaturePicked(double value);
    std::shared_ptr<InlinePickerView> makePicker();
    /// The slider and buttons show while the switch is on, or always without a power control.
    bool controlsShown() const;
};

}  // namespace corvix

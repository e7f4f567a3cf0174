#include "settings/TrayIconStyle.h"

#include "platform/PlatformServices.h"

namespace corvix {

StatusItemIconStyle corvixTrayIconStyle(const UserDefaults& defaults) {
    const auto stored = defaults.value(corvixTrayIconKey);
    if (!stored || !stored->is_string()) {
        return StatusItemIconStyle::Automatic;
    }
    const std::string_view word = stored->get_string();
    if (word == "light") {
        return StatusItemIconStyle::Light;
    }
    if (word == "dark") {
        return StatusItemIconStyle::Dark;
    }
    return StatusItemIconStyle::Automatic;
}

void setCorvixTrayIconStyle(UserDefaults& defaults, StatusItemIconStyle style) {
    const char* word = style == StatusItemIconStyle::Light  ? "light"
                       : style == StatusItemIconStyle::Dark ? "dark"
                                                            : "automatic";
    defaults.setValue(corvixTrayIconKey, json::value(word));
}

StatusItemIconStyle corvixTrayIconStyle() {
    const UserDefaults* defaults = platformServices().defaults;
    return defaults ? corvixTrayIconStyle(*defaults) : StatusItemIconStyle::Automatic;
}

void setCorvixTrayIconStyle(StatusItemIconStyle style) {
    if (UserDefaults* defaults = platformServices().defaults) {
        setCorvixTrayIconStyle(*defaults, style);
    }
}

}  // namespace corvix

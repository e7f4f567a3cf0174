#pragma once

#include <string_view>

#include "platform/UserDefaults.h"
#include "platform/ui/StatusItem.h"

namespace corvix {

/// The user's choice of tray icon colour in the defaults store: "automatic", "light" or
/// "dark". A key never written, or a word it does not know, reads as automatic.
inline constexpr const char* corvixTrayIconKey = "OrbeluneMenuBarTrayIcon";

StatusItemIconStyle corvixTrayIconStyle(const UserDefaults& defaults);
void setCorvixTrayIconStyle(UserDefaults& defaults, StatusItemIconStyle style);
/// The same on the installed defaults store.
StatusItemIconStyle corvixTrayIconStyle();
void setCorvixTrayIconStyle(StatusItemIconStyle style);

}  // namespace corvix

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvix {

class Environment;

/// The program's configuration, read from its environment only.
struct LaunchConfiguration {
    static constexpr const char* kDefaultDashboardURL = "http://127.0.0.1:8080/os";
    /// A tray icon is drawn at 18 points; a file larger than this is not an icon.
    static constexpr std::size_t kMaxIconFileBytes = 512 * 1024;

    /// `ORBELUNE_PARENT_PID` as a signed 32-bit number: an optional sign, then digits only.
    /// Anything else, empty or out of range gives 0; callers use only values above 0.
    static std::int32_t parentPid(const Environment& environment);
    static std::int32_t parsePid(std::optional<std::string_view> text);
    /// `ORBELUNE_MENUBAR_ICON_TEMPLATE`: true unless set to a text other than the true words.
    static bool iconIsTemplate(const Environment& environment);
    /// `ORBELUNE_MENUBAR_ICON_PATH` when present and not empty.
    static std::optional<std::string> iconPath(const Environment& environment);
    /// `ORBELUNE_DASHBOARD_URL` unchanged when present (even empty), else the default.
    static std::string dashboardURL(const Environment& environment);
};

}  // namespace corvix

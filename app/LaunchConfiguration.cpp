#include "app/LaunchConfiguration.h"

#include <charconv>

#include "platform/Environment.h"
#include "platform/Json.h"
#include "state/StateAccessors.h"

namespace corvix {

std::int32_t LaunchConfiguration::parsePid(std::optional<std::string_view> text) {
    if (!text) {
        return 0;
    }
    // from_chars takes a minus but no plus; a plus is dropped unless a sign follows it.
    std::string_view digits = *text;
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') {
        digits.remove_prefix(1);
    }
    std::int32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, ec] = std::from_chars(digits.data(), end, value);
    return ec == std::errc() && stop == end ? value : 0;
}

std::int32_t LaunchConfiguration::parentPid(const Environment& environment) {
    auto value = environment.get("ORBELUNE_PARENT_PID");
    return parsePid(value ? std::optional<std::string_view>(*value) : std::nullopt);
}

bool LaunchConfiguration::iconIsTemplate(const Environment& environment) {
    auto value = environment.get("ORBELUNE_MENUBAR_ICON_TEMPLATE");
    if (!value) {
        return true;
    }
    const json::value text(*value);
    return bool_(&text, true);
}

std::optional<std::string> LaunchConfiguration::iconPath(const Environment& environment) {
    auto value = environment.get("ORBELUNE_MENUBAR_ICON_PATH");
    if (!value || value->empty()) {
        return std::nullopt;
    }
    return value;
}

std::string LaunchConfiguration::dashboardURL(const Environment& environment) {
    return environment.get("ORBELUNE_DASHBOARD_URL").value_or(kDefaultDashboardURL);
}

}  // namespace corvix

#include "app/LaunchConfiguration.h"

#include <cctype>
#include <limits>

#include "platform/Environment.h"
#include "platform/Json.h"
#include "state/StateAccessors.h"

namespace corvix {

std::int32_t LaunchConfiguration::parsePid(std::optional<std::string_view> text) {
    if (!text || text->empty()) {
        return 0;
    }
    std::string_view digits = *text;
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return 0;
    }
    std::int64_t value = 0;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
        value = value * 10 + (c - '0');
        if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
            return 0;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min()) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
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

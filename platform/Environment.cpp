#include "platform/Environment.h"

#include <cstdlib>

namespace corvix {

std::optional<std::string> ProcessEnvironment::get(std::string_view name) const {
    const char* value = std::getenv(std::string(name).c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

}  // namespace corvix

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace corvix {

/// Decodes standard Base64 (RFC 4648 alphabet, "=" padding optional at the end). Any other
/// character, line breaks included, or a length no encoder produces, gives none.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

}  // namespace corvix

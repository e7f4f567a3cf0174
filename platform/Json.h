#pragma once

#include <boost/json.hpp>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace corvix {

namespace json = boost::json;

/// Deepest nesting accepted from any document that comes from outside.
inline constexpr std::size_t kMaxJsonDepth = 512;

/// Parses one JSON document with a bounded nesting depth; deeper input is a parse failure.
Result<json::value> parseJson(std::string_view text, std::size_t maxDepth = kMaxJsonDepth);

/// Compact encoding (no white space).
std::string toJsonText(const json::value& value);

/// The member `key` of `object`, or null when absent (absent is not JSON null).
inline const json::value* member(const json::object& object, std::string_view key) {
    return object.if_contains(key);
}

}  // namespace corvix

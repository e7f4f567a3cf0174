#pragma once

#include <boost/json.hpp>

#include <cmath>
#include <optional>
#include <string>

namespace hubsim {

/// A JSON number as a double; none for any other kind (booleans included).
inline std::optional<double> number(const boost::json::value* value) {
    if (!value) {
        return std::nullopt;
    }
    if (value->is_int64()) {
        return static_cast<double>(value->get_int64());
    }
    if (value->is_uint64()) {
        return static_cast<double>(value->get_uint64());
    }
    if (value->is_double() && std::isfinite(value->get_double())) {
        return value->get_double();
    }
    return std::nullopt;
}

inline std::string text(const boost::json::value* value) {
    if (value && value->is_string()) {
        return std::string(value->get_string());
    }
    return {};
}

inline const boost::json::object* object(const boost::json::value* value) {
    return value && value->is_object() ? &value->get_object() : nullptr;
}

/// A command argument: looked up in "payload" first, then among the body's own members (the
/// program copies the payload's members to the top level as well).
inline const boost::json::value* argument(const boost::json::object& body, const char* key) {
    if (const auto* payload = object(body.if_contains("payload"))) {
        if (const auto* value = payload->if_contains(key)) {
            return value;
        }
    }
    return body.if_contains(key);
}

/// Whole numbers are served as JSON integers, as the hub writes them.
inline boost::json::value jsonNumber(double value) {
    const double rounded = std::round(value);
    if (std::abs(rounded - value) < 1e-9 && std::abs(rounded) < 9e15) {
        return static_cast<std::int64_t>(rounded);
    }
    return value;
}

}  // namespace hubsim

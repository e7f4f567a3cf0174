#include "state/StateAccessors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "platform/PlatformServices.h"
#include "platform/UserDefaults.h"

namespace corvix {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isTrueWord(std::string_view lower) {
    return lower == "1" || lower == "true" || lower == "yes" || lower == "on";
}

bool isFalseWord(std::string_view lower) {
    return lower == "0" || lower == "false" || lower == "no" || lower == "off";
}

std::optional<double> numberValue(const json::value& value) {
    switch (value.kind()) {
        case json::kind::int64:
            return static_cast<double>(value.get_int64());
        case json::kind::uint64:
            return static_cast<double>(value.get_uint64());
        case json::kind::double_:
            return value.get_double();
        default:
            return std::nullopt;
    }
}

/// Whether an unsigned decimal literal stands for less than 1 ("0.05e1" does, "0.5e1" not).
bool belowOne(std::string_view literal) {
    std::size_t i = 0;
    long integerDigits = 0;
    long fractionZeros = 0;
    bool significant = false;
    for (; i < literal.size() && isDigit(literal[i]); ++i) {
        significant = significant || literal[i] != '0';
        integerDigits += significant ? 1 : 0;
    }
    if (i < literal.size() && literal[i] == '.') {
        for (++i; i < literal.size() && isDigit(literal[i]); ++i) {
            if (!significant) {
                significant = literal[i] != '0';
                fractionZeros += significant ? 0 : 1;
            }
        }
    }
    if (!significant) {
        return true;  // zero, whatever its exponent
    }
    long exponent = 0;
    if (i < literal.size() && (literal[i] == 'e' || literal[i] == 'E')) {
        ++i;
        const bool negative = i < literal.size() && literal[i] == '-';
        i += i < literal.size() && (literal[i] == '-' || literal[i] == '+') ? 1 : 0;
        for (; i < literal.size() && isDigit(literal[i]); ++i) {
            exponent = std::min(exponent * 10 + (literal[i] - '0'), 1'000'000'000L);
        }
        exponent = negative ? -exponent : exponent;
    }
    // The power of ten of the first significant digit.
    return (integerDigits > 0 ? integerDigits - 1 : -(fractionZeros + 1)) + exponent < 0;
}

/// A decimal floating-point literal, and nothing around it. The point is always ".", whatever the
/// user's language; magnitudes beyond a double read as infinity, and below its range as zero.
std::optional<double> parseDecimalLiteral(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t exponent = i + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        std::size_t exponentDigits = 0;
        while (exponent < text.size() && isDigit(text[exponent])) {
            ++exponent;
            ++exponentDigits;
        }
        if (exponentDigits > 0) {
            i = exponent;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    // from_chars takes a minus but no plus.
    const bool negative = text.front() == '-';
    const std::string_view unsigned_ = text.substr(text.front() == '+' || negative ? 1 : 0);
    double magnitude = 0;
    const auto [end, ec] = std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(),
                                           magnitude, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Beyond a double either way: infinity or zero, as the C library reads it.
        magnitude = belowOne(unsigned_) ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc() || end != unsigned_.data() + unsigned_.size()) {
        return std::nullopt;
    }
    return negative ? -magnitude : magnitude;
}

std::string describeDouble(double number) {
    if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15) {
        return std::to_string(static_cast<long long>(number));
    }
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

}  // namespace

std::string fixedText(double number, int decimals) {
    // The widest: 309 integer digits of the largest double, sign, point and the decimals.
    std::string text(320 + static_cast<std::size_t>(std::clamp(decimals, 0, 100)), '\0');
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), number,
                                         std::chars_format::fixed, std::clamp(decimals, 0, 100));
    if (ec != std::errc()) {
        return {};
    }
    text.resize(static_cast<std::size_t>(end - text.data()));
    return text;
}

std::int64_t clampedInteger(double value, std::int64_t low, std::int64_t high) {
    if (std::isnan(value)) {
        return std::clamp<std::int64_t>(0, low, high);
    }
    const double rounded = std::round(value);
    // No double lies strictly between a bound and its nearest double, so anything inside the
    // converted bounds converts exactly; infinities end up at a bound.
    if (rounded <= static_cast<double>(low)) {
        return low;
    }
    if (rounded >= static_cast<double>(high)) {
        return high;
    }
    return static_cast<std::int64_t>(rounded);
}

void appendString(std::string& out, const json::value* value, std::string_view fallback) {
    if (!value) {
        out += fallback;
        return;
    }
    char digits[24];
    switch (value->kind()) {
        case json::kind::string:
            out += value->get_string();
            return;
        case json::kind::int64: {
            auto end = std::to_chars(digits, digits + sizeof digits, value->get_int64()).ptr;
            out.append(digits, end);
            return;
        }
        case json::kind::uint64: {
            auto end = std::to_chars(digits, digits + sizeof digits, value->get_uint64()).ptr;
            out.append(digits, end);
            return;
        }
        case json::kind::double_:
            out += describeDouble(value->get_double());
            return;
        case json::kind::bool_:
            out += value->get_bool() ? '1' : '0';
            return;
        case json::kind::null:
            out += "<null>";
            return;
        case json::kind::array:
        case json::kind::object:
            out += json::serialize(*value);
            return;
    }
    out += fallback;
}

std::string string(const json::value* value, std::string_view fallback) {
    if (value && value->is_string()) {
        return std::string(value->get_string());
    }
    std::string text;
    appendString(text, value, fallback);
    return text;
}

bool bool_(const json::value* value, bool fallback) {
    if (!value) {
        return fallback;
    }
    if (value->is_bool()) {
        return value->get_bool();
    }
    if (value->is_string()) {
        return isTrueWord(asciiLowercased(value->get_string()));
    }
    if (auto number = numberValue(*value)) {
        return *number != 0;
    }
    return fallback;
}

std::optional<bool> optionalBool(const json::value* value) {
    if (!value || value->is_null()) {
        return std::nullopt;
    }
    if (value->is_bool()) {
        return value->get_bool();
    }
    if (auto number = numberValue(*value)) {
        return *number != 0;
    }
    if (value->is_string()) {
        const std::string lower = asciiLowercased(value->get_string());
        if (isTrueWord(lower)) {
            return true;
        }
        if (isFalseWord(lower)) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<double> optionalDouble(const json::value* value) {
    if (!value || value->is_null()) {
        return std::nullopt;
    }
    if (value->is_bool()) {
        // Booleans behave as the numbers 1 and 0.
        return value->get_bool() ? 1.0 : 0.0;
    }
    if (auto number = numberValue(*value)) {
        return number;
    }
    if (value->is_string()) {
        return parseDecimalLiteral(value->get_string());
    }
    return std::nullopt;
}

std::vector<double> numberArray(const json::value* value) {
    std::vector<double> numbers;
    if (value && value->is_array()) {
        for (const auto& element : value->get_array()) {
            if (auto number = optionalDouble(&element)) {
                numbers.push_back(*number);
            }
        }
    }
    return numbers;
}

std::vector<std::string> stringArray(const json::value* value) {
    std::vector<std::string> texts;
    if (value && value->is_array()) {
        for (const auto& element : value->get_array()) {
            std::string text = string(&element, "");
            if (!text.empty()) {
                texts.push_back(std::move(text));
            }
        }
    }
    return texts;
}

std::string identifierText(const JsonObject& object, std::string_view key,
                           std::string_view fallback) {
    const json::value* value = member(object, key);
    return value && !value->is_null() ? string(value) : std::string(fallback);
}

ObjectList array(const json::value* value) {
    ObjectList objects;
    if (!value || !value->is_array()) {
        return objects;
    }
    const auto& list = value->get_array();
    objects.reserve(list.size());
    for (const auto& element : list) {
        if (!element.is_object()) {
            return {};
        }
        objects.push_back(&element.get_object());
    }
    return objects;
}

bool isCancellationError(const Error& error) {
    if (error.domain == kTaskCancellationDomain) {
        return true;
    }
    return error.domain == kUrlErrorDomain && error.code == kUrlErrorCancelled;
}

bool corvixSectionEnabled(const UserDefaults& defaults, std::string_view key, bool fallback) {
    auto stored = defaults.boolean(key);
    return stored ? *stored : fallback;
}

void setCorvixSection(UserDefaults& defaults, std::string_view key, bool enabled) {
    defaults.setBoolean(key, enabled);
}

bool corvixSectionEnabled(std::string_view key, bool fallback) {
    UserDefaults* defaults = platformServices().defaults;
    return defaults ? corvixSectionEnabled(*defaults, key, fallback) : fallback;
}

void setCorvixSection(std::string_view key, bool enabled) {
    if (UserDefaults* defaults = platformServices().defaults) {
        setCorvixSection(*defaults, key, enabled);
    }
}

}  // namespace corvix

#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/Error.h"
#include "platform/Json.h"

namespace corvix {

class UserDefaults;

/// The state document and every record inside it: a generic JSON object.
using JsonObject = json::object;
/// A list of objects read from the document; the pointers live as long as the document.
using ObjectList = std::vector<const JsonObject*>;
/// A record that shares the ownership of the document it lies in. Rows keep these instead of
/// copies: reading one costs no allocation, and it stays valid after the document is replaced.
using SharedRecord = std::shared_ptr<const JsonObject>;

/// `record`, which lies inside `owner`'s record (or is it), sharing `owner`; null for null.
inline SharedRecord sharedRecord(const SharedRecord& owner, const JsonObject* record) {
    return record ? SharedRecord(owner, record) : nullptr;
}

// The forgiving accessors. Each takes a value that may be absent (null pointer, which is not
// JSON null) and never fails.

/// Non-empty text as it is; any other present value as its description; absent: `fallback`.
std::string string(const json::value* value, std::string_view fallback = "");
/// `string` appended to `out`, without a text of its own.
void appendString(std::string& out, const json::value* value, std::string_view fallback = "");
/// Booleans, numbers (non-zero) and the texts "1", "true", "yes", "on" (any case); absent, null,
/// lists and objects: `fallback`. Named `bool_` because `bool` is taken by the language.
bool bool_(const json::value* value, bool fallback = false);
/// True, false or none; texts also say false with "0", "false", "no", "off".
std::optional<bool> optionalBool(const json::value* value);
/// Numbers, and texts that are exactly one decimal floating-point literal (the point is ".",
/// whatever the user's language).
std::optional<double> optionalDouble(const json::value* value);
/// The list's elements through `optionalDouble`, dropping those that give none.
std::vector<double> numberArray(const json::value* value);
/// The list's elements through `string`, dropping empty results.
std::vector<std::string> stringArray(const json::value* value);
/// The list when every element is an object; otherwise the empty list (all or nothing).
ObjectList array(const json::value* value);

// Numbers to text and to integers, the same in every language.

/// `number` with `decimals` digits after a "." (rounded as the C library's "%.*f" rounds):
/// 19.5 is "19.5" even where the user's language writes "19,5". Infinities read "inf"/"-inf".
std::string fixedText(double number, int decimals);

/// A number (usually the hub's) as the whole number a field or call takes: rounded, halves away
/// from zero, and held within [`low`, `high`] before it is converted, so 1e300 or an infinity
/// gives a bound, never an out-of-range conversion. NaN counts as 0.
std::int64_t clampedInteger(double value,
                            std::int64_t low = std::numeric_limits<std::int64_t>::min(),
                            std::int64_t high = std::numeric_limits<std::int64_t>::max());

/// Member-reading shorthands: `string(object, "id")` reads `object["id"]`.
inline std::string string(const JsonObject& object, std::string_view key,
                          std::string_view fallback = "") {
    return string(member(object, key), fallback);
}
inline bool bool_(const JsonObject& object, std::string_view key, bool fallback = false) {
    return bool_(member(object, key), fallback);
}
inline std::optional<bool> optionalBool(const JsonObject& object, std::string_view key) {
    return optionalBool(member(object, key));
}
inline std::optional<double> optionalDouble(const JsonObject& object, std::string_view key) {
    return optionalDouble(member(object, key));
}
inline std::vector<double> numberArray(const JsonObject& object, std::string_view key) {
    return numberArray(member(object, key));
}
inline std::vector<std::string> stringArray(const JsonObject& object, std::string_view key) {
    return stringArray(member(object, key));
}
inline ObjectList array(const JsonObject& object, std::string_view key) {
    return array(member(object, key));
}
/// The text of a member that names something (an id, a command, an item): like `string`, but
/// JSON null names nothing and reads as `fallback` (as `string` it would be the text "<null>",
/// one shared fake name).
std::string identifierText(const JsonObject& object, std::string_view key,
                           std::string_view fallback = "");
/// The member when it is an object, else null.
inline const JsonObject* objectMember(const JsonObject& object, std::string_view key) {
    const json::value* value = member(object, key);
    return value && value->is_object() ? &value->get_object() : nullptr;
}

/// True for the error a cancelled task or transfer ends with; such errors are never shown.
bool isCancellationError(const Error& error);

// The user's menu choices in the defaults store. A key never written reads as `fallback`.
inline constexpr const char* corvixSectionMusicPlayerKey = "OrbeluneMenuBarSectionMusicPlayer";
inline constexpr const char* corvixSectionAVFlowsKey = "OrbeluneMenuBarSectionAVFlows";
inline constexpr const char* corvixSectionScenesKey = "OrbeluneMenuBarSectionScenes";
inline constexpr const char* corvixSectionAppleTVKey = "OrbeluneMenuBarSectionAppleTV";
inline constexpr const char* corvixNotchEnabledKey = "OrbeluneMenuBarNotchEnabled";

bool corvixSectionEnabled(const UserDefaults& defaults, std::string_view key, bool fallback = true);
void setCorvixSection(UserDefaults& defaults, std::string_view key, bool enabled);
/// The same on the installed defaults store.
bool corvixSectionEnabled(std::string_view key, bool fallback = true);
void setCorvixSection(std::string_view key, bool enabled);

}  // namespace corvix

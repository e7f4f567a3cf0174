#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace corvix {

// Letter case by the ASCII rules alone. The C library's rules follow the user's language: in a
// Turkish one "I" lowers to itself, so "PLAYING" would not read as "playing" and a header name
// would not match its own lower-case spelling. Protocol words, the hub's texts and names compared
// without case all go through these.

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), asciiLower);
    return out;
}

inline std::string asciiUppercased(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), asciiUpper);
    return out;
}

inline bool asciiEqualIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

}  // namespace corvix

#include "platform/HttpClient.h"

#include <algorithm>
#include <cctype>

#include "platform/AsciiText.h"

namespace corvix {

namespace {
bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return asciiEqualIgnoringCase(a, b);
}
}  // namespace

std::optional<std::string> headerValue(const HttpHeaders& headers, std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

void HttpRequest::setHeader(std::string name, std::string value) {
    for (auto& [key, existing] : headers) {
        if (equalsIgnoringCase(key, name)) {
            existing = std::move(value);
            return;
        }
    }
    headers.emplace_back(std::move(name), std::move(value));
}

}  // namespace corvix

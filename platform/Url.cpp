#include "platform/Url.h"

#include <utility>
#include <vector>

namespace corvix {

namespace {

bool isAllowedUrlCharacter(unsigned char c) {
    if (c <= 0x20 || c >= 0x7f) {
        return false;
    }
    switch (c) {
        case '"':
        case '<':
        case '>':
        case '\\':
        case '^':
        case '`':
        case '{':
        case '|':
        case '}':
            return false;
        default:
            return true;
    }
}

// ASCII classes of their own: the C library's follow the user's locale.
bool isAsciiDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool isAsciiLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isHexDigit(unsigned char c) {
    return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    return isAsciiDigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// True when a "%" at `i` starts a well-formed escape.
bool escapeAt(std::string_view text, std::size_t i) {
    return i + 2 < text.size() && isHexDigit(static_cast<unsigned char>(text[i + 1])) &&
           isHexDigit(static_cast<unsigned char>(text[i + 2]));
}

/// Where the authority of `text` lies ("//" not included), or none.
std::optional<std::pair<std::size_t, std::size_t>> authoritySpan(std::string_view text) {
    std::size_t start = 0;
    const auto colon = text.find(':');
    const auto delimiter = text.find_first_of("/?#");
    if (colon != std::string_view::npos && colon < delimiter) {
        start = colon + 1;
    }
    if (text.substr(start, 2) != "//") {
        return std::nullopt;
    }
    start += 2;
    const auto end = text.find_first_of("/?#", start);
    return std::pair{start, end == std::string_view::npos ? text.size() : end};
}

std::string removeDotSegments(std::string_view input) {
    std::vector<std::string> output;
    bool absolute = !input.empty() && input.front() == '/';
    std::string_view rest = absolute ? input.substr(1) : input;
    bool trailingSlash = false;
    while (true) {
        auto slash = rest.find('/');
        std::string_view segment = rest.substr(0, slash);
        bool last = slash == std::string_view::npos;
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!output.empty()) {
                output.pop_back();
            }
            trailingSlash = last;
        } else {
            output.emplace_back(segment);
            trailingSlash = false;
        }
        if (last) {
            break;
        }
        rest = rest.substr(slash + 1);
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (i > 0) {
            result += '/';
        }
        result += output[i];
    }
    if (trailingSlash && !result.empty() && result.back() != '/') {
        result += '/';
    }
    return result;
}

std::string mergePaths(const Url& base, std::string_view referencePath) {
    if (base.authority && base.path.empty()) {
        // Appended rather than "/" + string: GCC 12 at -O3 warns falsely on that form.
        std::string merged;
        merged.reserve(referencePath.size() + 1);
        merged += '/';
        merged += referencePath;
        return merged;
    }
    auto slash = base.path.rfind('/');
    if (slash == std::string::npos) {
        return std::string(referencePath);
    }
    return base.path.substr(0, slash + 1) + std::string(referencePath);
}

/// `c` as it is, or as "%" and two upper-case hex digits.
void appendByte(std::string& out, unsigned char c, bool keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (keep) {
        out += static_cast<char>(c);
        return;
    }
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
}

}  // namespace

std::string encodeInvalidUrlCharacters(std::string_view text) {
    const auto authority = authoritySpan(text);
    const std::size_t firstHash = text.find('#');
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        bool keep = isAllowedUrlCharacter(c);
        if (c == '%') {
            keep = escapeAt(text, i);
        } else if (c == '#') {
            keep = i == firstHash;  // a fragment holds no second "#"
        } else if (c == '[' || c == ']') {
            // Only an IP literal host is written in brackets.
            keep = authority && i >= authority->first && i < authority->second;
        }
        appendByte(out, c, keep);
    }
    return out;
}

std::optional<Url> Url::parse(std::string_view original) {
    const std::string encoded = encodeInvalidUrlCharacters(original);
    const std::string_view text = encoded;
    Url url;
    std::string_view rest = text;
    if (auto hash = rest.find('#'); hash != std::string_view::npos) {
        url.fragment = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }
    if (auto question = rest.find('?'); question != std::string_view::npos) {
        url.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    // A scheme is letters, digits, + - . starting with a letter, before the first ':' that comes
    // before any '/'.
    auto colon = rest.find(':');
    auto firstSlash = rest.find('/');
    if (colon != std::string_view::npos &&
        (firstSlash == std::string_view::npos || colon < firstSlash)) {
        std::string_view scheme = rest.substr(0, colon);
        bool valid = !scheme.empty() && isAsciiLetter(static_cast<unsigned char>(scheme[0]));
        for (unsigned char c : scheme) {
            valid =
                valid && (isAsciiLetter(c) || isAsciiDigit(c) || c == '+' || c == '-' || c == '.');
        }
        if (!valid) {
            return std::nullopt;
        }
        for (char c : scheme) {
            url.scheme += asciiLower(c);
        }
        rest = rest.substr(colon + 1);
    }
    if (rest.substr(0, 2) == "//") {
        rest = rest.substr(2);
        auto end = rest.find('/');
        url.authority = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
        {
            // The port, when given, is digits only.
            std::string_view hostPort = *url.authority;
            if (auto at = hostPort.rfind('@'); at != std::string_view::npos) {
                hostPort = hostPort.substr(at + 1);
            }
            auto closeBracket = hostPort.rfind(']');
            auto portColon = hostPort.rfind(':');
            if (portColon != std::string_view::npos &&
                (closeBracket == std::string_view::npos || portColon > closeBracket)) {
                for (unsigned char c : hostPort.substr(portColon + 1)) {
                    if (!isAsciiDigit(c)) {
                        return std::nullopt;
                    }
                }
            }
        }
    }
    url.path = std::string(rest);
    return url;
}

std::optional<Url> Url::parseAbsolute(std::string_view text) {
    auto url = parse(text);
    if (!url || !url->isAbsolute()) {
        return std::nullopt;
    }
    return url;
}

std::string Url::host() const {
    if (!authority) {
        return {};
    }
    std::string_view hostPort = *authority;
    if (auto at = hostPort.rfind('@'); at != std::string_view::npos) {
        hostPort = hostPort.substr(at + 1);
    }
    if (!hostPort.empty() && hostPort.front() == '[') {
        auto close = hostPort.find(']');
        return std::string(hostPort.substr(1, close == std::string_view::npos ? close : close - 1));
    }
    return std::string(hostPort.substr(0, hostPort.rfind(':')));
}

std::optional<int> Url::port() const {
    if (!authority) {
        return std::nullopt;
    }
    std::string_view hostPort = *authority;
    if (auto at = hostPort.rfind('@'); at != std::string_view::npos) {
        hostPort = hostPort.substr(at + 1);  // a password is not a port
    }
    auto closeBracket = hostPort.rfind(']');
    auto colon = hostPort.rfind(':');
    if (colon == std::string_view::npos ||
        (closeBracket != std::string_view::npos && colon < closeBracket) ||
        colon + 1 == hostPort.size()) {
        return std::nullopt;
    }
    int port = 0;
    for (char c : hostPort.substr(colon + 1)) {
        port = port * 10 + (c - '0');
        if (port > 65535) {
            return std::nullopt;
        }
    }
    return port;
}

std::string Url::toString() const {
    std::string text;
    if (!scheme.empty()) {
        text += scheme + ":";
    }
    if (authority) {
        text += "//" + *authority;
    }
    text += path;
    if (query) {
        text += "?" + *query;
    }
    if (fragment) {
        text += "#" + *fragment;
    }
    return text;
}

std::optional<Url> Url::resolve(std::string_view referenceText) const {
    auto reference = parse(referenceText);
    if (!reference) {
        return std::nullopt;
    }
    Url target;
    if (reference->isAbsolute()) {
        target = *reference;
        target.path = removeDotSegments(reference->path);
        return target;
    }
    target.scheme = scheme;
    if (reference->authority) {
        target.authority = reference->authority;
        target.path = removeDotSegments(reference->path);
        target.query = reference->query;
    } else {
        target.authority = authority;
        if (reference->path.empty()) {
            target.path = path;
            target.query = reference->query ? reference->query : query;
        } else {
            if (reference->path.front() == '/') {
                target.path = removeDotSegments(reference->path);
            } else {
                target.path = removeDotSegments(mergePaths(*this, reference->path));
            }
            target.query = reference->query;
        }
    }
    target.fragment = reference->fragment;
    return target;
}

std::string percentEncodePathSegment(std::string_view segment) {
    // "." and ".." would be removed or climb a level when the path is resolved.
    if (segment == ".") {
        return "%2E";
    }
    if (segment == "..") {
        return "%2E%2E";
    }
    std::string out;
    out.reserve(segment.size());
    for (unsigned char c : segment) {
        bool allowed = isAsciiLetter(c) || isAsciiDigit(c);
        switch (c) {
            case '-':
            case '.':
            case '_':
            case '~':
            case '!':
            case '$':
            case '&':
            case '\'':
            case '(':
            case ')':
            case '*':
            case '+':
            case ',':
            case ':':
            case '=':
            case '@':
                allowed = true;
                break;
            default:
                break;
        }
        appendByte(out, c, allowed);
    }
    return out;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && escapeAt(text, i)) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace corvix

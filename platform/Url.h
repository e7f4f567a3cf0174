#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvix {

/// An absolute or relative URI reference split into its RFC 3986 components.
struct Url {
    std::string scheme;  // lower-cased; empty for a relative reference
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;

    /// Parses a reference after `encodeInvalidUrlCharacters`, as the hub's own platform reads an
    /// address it is given ("/art/My Song.jpg" is "/art/My%20Song.jpg"); fails on a malformed
    /// scheme or port.
    static std::optional<Url> parse(std::string_view text);
    /// Parses an absolute URL (with a scheme).
    static std::optional<Url> parseAbsolute(std::string_view text);

    bool isAbsolute() const { return !scheme.empty(); }
    std::string host() const;
    std::optional<int> port() const;
    std::string toString() const;

    /// Resolves `reference` against this base by RFC 3986 section 5.2.
    std::optional<Url> resolve(std::string_view reference) const;
};

/// `text` with every byte a URL cannot hold written as %XX: controls, space, non-ASCII bytes
/// (so UTF-8 text per byte), " < > \ ^ ` { | }, a "%" that starts no %XX escape, a second "#",
/// and "[" or "]" outside the host. A valid URL comes back as it is, so encoding twice changes
/// nothing.
std::string encodeInvalidUrlCharacters(std::string_view text);

/// Percent-encodes one path segment: everything outside the URL path characters (letters,
/// digits, - . _ ~ ! $ & ' ( ) * + , : = @) is written as %XX per UTF-8 byte, "/" included, and
/// the segments "." and ".." are written %2E and %2E%2E, so the text always stays one segment.
std::string percentEncodePathSegment(std::string_view segment);

/// Decodes %XX escapes; a malformed escape is kept as it stands.
std::string percentDecode(std::string_view text);

}  // namespace corvix

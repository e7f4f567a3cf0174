// URL parsing, resolution and path-segment encoding on arbitrary text. The input is a base, a
// reference and a segment separated by line feeds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/Url.h"

namespace corvix {
namespace {

using fuzz::require;

bool sameUrl(const Url& a, const Url& b) {
    return a.scheme == b.scheme && a.authority == b.authority && a.path == b.path &&
           a.query == b.query && a.fragment == b.fragment;
}

bool hasDotSegment(std::string_view path) {
    while (true) {
        const auto slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        if (segment == "." || segment == "..") {
            return true;
        }
        if (slash == std::string_view::npos) {
            return false;
        }
        path.remove_prefix(slash + 1);
    }
}

/// Without an authority a path cannot start with "//": its text would read as an authority.
bool printable(const Url& url) {
    return url.authority || url.path.substr(0, 2) != "//";
}

void checkParsed(std::string_view text) {
    const auto url = Url::parse(text);
    if (!url) {
        return;
    }
    const auto again = Url::parse(url->toString());
    require(again && sameUrl(*url, *again), "a parsed URL prints and parses to itself");
    (void)url->host();
    if (auto port = url->port()) {
        require(*port >= 0 && *port <= 65535, "a port is within 0 to 65535");
    }
}

void checkResolved(std::string_view baseText, std::string_view reference) {
    const auto base = Url::parseAbsolute(baseText);
    if (!base) {
        return;
    }
    const auto target = base->resolve(reference);
    require(target.has_value() == Url::parse(reference).has_value(),
            "a reference resolves exactly when it parses");
    if (!target) {
        return;
    }
    require(target->isAbsolute(), "resolving against an absolute base gives an absolute URL");
    if (hasDotSegment(target->path) || !printable(*target)) {
        return;  // a base's own dot segments stay when the reference has no path
    }
    const auto again = base->resolve(target->toString());
    require(again && sameUrl(*target, *again), "resolving a resolved URL changes nothing");
}

void checkSegment(std::string_view segment) {
    const std::string encoded = percentEncodePathSegment(segment);
    require(encoded.find('/') == std::string::npos, "an encoded segment holds no /");
    require(percentDecode(encoded) == segment, "an encoded segment decodes to itself");
    (void)percentDecode(segment);

    // The client's requests: an id must stay one segment under its collection.
    static const Url kBase = *Url::parseAbsolute("http://127.0.0.1:8080/app/os/mac-control/");
    const auto target = kBase.resolve("items/" + encoded + "/run");
    require(target && target->path == "/app/os/mac-control/items/" + encoded + "/run",
            "an encoded id stays one path segment");
}

}  // namespace
}  // namespace corvix

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvix::fuzz::InputSplitter input(data, size);
    const std::string_view base = input.until('\n');
    const std::string_view reference = input.until('\n');
    const std::string_view segment = input.rest();
    corvix::checkParsed(base);
    corvix::checkParsed(reference);
    corvix::checkResolved(base, reference);
    corvix::checkSegment(segment);
    return 0;
}

// The event-stream parser on arbitrary bodies: the same bytes give the same events however the
// network splits them, a reset forgets everything before it, and no name or data outgrows the
// parser's bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "hub/StateStreamParser.h"

namespace {

using corvix::StateStreamParser;
using corvix::fuzz::require;
using Events = std::vector<StateStreamParser::Event>;

struct Run {
    Events events;
    StateStreamParser parser;

    explicit Run(std::size_t maxBytes)
        : parser([this](const StateStreamParser::Event& e) { events.push_back(e); }, maxBytes) {}
};

bool same(const Events& a, const Events& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].data != b[i].data) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvix::fuzz::InputSplitter input(data, size);
    // A small bound so that inputs of a few hundred bytes reach the cut-off paths.
    const std::size_t maxBytes = 1 + input.byte() % 96;
    const std::uint8_t chunkSeed = input.byte();
    const bool finish = (chunkSeed & 1) != 0;
    const std::string_view body = input.rest();

    Run whole(maxBytes);
    whole.parser.feed(body);

    // Chunk lengths from a small generator seeded by the input: 0 to 15 bytes, empty feeds too.
    Run chunked(maxBytes);
    std::uint32_t state = chunkSeed * 2654435761u + 1;
    for (std::size_t at = 0; at < body.size();) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = (state >> 16) % 16;
        chunked.parser.feed(body.substr(at, length));
        at += length;
    }

    // Bytes fed before a reset leave nothing behind.
    Run afterReset(maxBytes);
    afterReset.parser.feed(body.substr(body.size() / 2));
    afterReset.events.clear();
    afterReset.parser.reset();
    afterReset.parser.feed(body);

    if (finish) {
        whole.parser.finish();
        chunked.parser.finish();
        afterReset.parser.finish();
    }

    require(same(whole.events, chunked.events), "chunked and whole feeds give the same events");
    require(same(whole.events, afterReset.events), "a reset parser reads like a new one");
    for (const auto& event : whole.events) {
        require(event.name.size() <= maxBytes, "an event name stays within the bound");
        require(event.data.size() <= maxBytes, "event data stays within the bound");
        for (char c : event.name) {
            require(!(c >= 'A' && c <= 'Z'), "event names are lower-cased");
        }
        if (!event.name.empty()) {
            constexpr std::string_view kSpace = " \t\r\n\v\f";
            require(kSpace.find(event.name.front()) == std::string_view::npos &&
                        kSpace.find(event.name.back()) == std::string_view::npos,
                    "event names are trimmed");
        }
    }
    return 0;
}

#include "hub/StateStreamParser.h"

#include <cctype>

#include "platform/AsciiText.h"

namespace corvix {

namespace {
std::string_view trim(std::string_view text, std::string_view characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}
}  // namespace

StateStreamParser::StateStreamParser(Dispatch dispatch, std::size_t maxBytes)
    : dispatch_(std::move(dispatch)), maxBytes_(maxBytes) {}

void StateStreamParser::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (!discardingLine_) {
            if (line_.size() + piece.size() > maxBytes_) {
                // A line this long is not part of any event we act on; skip to its end.
                discardingLine_ = true;
                line_.clear();
            } else {
                line_.append(piece);
            }
        }
        if (newline == std::string_view::npos) {
            return;
        }
        if (!discardingLine_) {
            handleLine(line_);
        }
        discardingLine_ = false;
        line_.clear();
        bytes.remove_prefix(newline + 1);
    }
}

void StateStreamParser::handleLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);  // CR LF reads as LF
    }
    if (line.empty()) {
        dispatchPending();
        return;
    }
    if (line.front() == ':') {
        return;
    }
    if (line.substr(0, 6) == "event:") {
        eventName_ = std::string(trim(line.substr(6), " \t"));
        return;
    }
    if (line.substr(0, 5) == "data:") {
        std::string_view data = line.substr(5);
        if (!data.empty() && data.front() == ' ') {
            data.remove_prefix(1);
        }
        if (dataBytes_ + data.size() > maxBytes_) {
            // Keep the event (it still says the state changed) but not its oversized data.
            dataTruncated_ = true;
            return;
        }
        dataBytes_ += data.size() + 1;
        dataLines_.emplace_back(data);
    }
}

void StateStreamParser::dispatchPending() {
    Event event;
    std::string_view name = trim(eventName_, " \t\r\n\v\f");
    event.name.reserve(name.size());
    for (char c : name) {
        event.name += asciiLower(c);
    }
    for (std::size_t i = 0; i < dataLines_.size(); ++i) {
        if (i > 0) {
            event.data += '\n';
        }
        event.data += dataLines_[i];
    }
    if (dataTruncated_ && event.data.empty()) {
        event.data.push_back('\n');  // oversized data still counts as data
    }
    eventName_.clear();
    dataLines_.clear();
    dataBytes_ = 0;
    dataTruncated_ = false;
    if (dispatch_) {
        dispatch_(event);
    }
}

void StateStreamParser::finish() {
    if (discardingLine_) {
        discardingLine_ = false;
        line_.clear();
    }
    if (!line_.empty()) {
        // A last line without its line feed still counts.
        std::string last = std::move(line_);
        line_.clear();
        handleLine(last);
    }
    if (!eventName_.empty() || !dataLines_.empty() || dataTruncated_) {
        dispatchPending();
    }
}

void StateStreamParser::reset() {
    line_.clear();
    discardingLine_ = false;
    eventName_.clear();
    dataLines_.clear();
    dataBytes_ = 0;
    dataTruncated_ = false;
}

}  // namespace corvix

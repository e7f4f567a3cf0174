#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvix {

/// Splits an event stream into lines and events. A line feed ends a line (a carriage return
/// before it is dropped, so CR LF reads as LF); an empty line ends an event. Lines and events
/// that grow past `maxBytes` are cut off rather than buffered without end.
class StateStreamParser {
  public:
    struct Event {
        std::string name;  // trimmed and lower-cased
        std::string data;  // data lines joined by "\n"
    };
    using Dispatch = std::function<void(const Event&)>;

    static constexpr std::size_t kMaxBytes = 1 << 20;

    explicit StateStreamParser(Dispatch dispatch, std::size_t maxBytes = kMaxBytes);

    /// Feeds the next bytes of the body.
    void feed(std::string_view bytes);
    /// The body ended: an event still pending is dispatched.
    void finish();
    /// Forgets a partial line and event (a new connection starts clean).
    void reset();

  private:
    void handleLine(std::string_view line);
    void dispatchPending();

    Dispatch dispatch_;
    std::size_t maxBytes_;
    std::string line_;
    bool discardingLine_ = false;
    std::string eventName_;
    std::vector<std::string> dataLines_;
    std::size_t dataBytes_ = 0;
    bool dataTruncated_ = false;
};

}  // namespace corvix

#pragma once

#include <optional>

#include "platform/RunLoop.h"

namespace corvix {

/// The gate's answer to a refresh request.
struct MenuRefreshRequest {
    enum class Kind { Schedule, CoalescedInFlight, CoalescedScheduled };
    Kind kind = Kind::Schedule;
    /// With `Schedule`: start a fetch after this long; cancel the waiting start first when
    /// `replacesScheduled`.
    Duration delay{0};
    bool replacesScheduled = false;

    static MenuRefreshRequest schedule(Duration delay, bool replacesScheduled) {
        return {Kind::Schedule, delay, replacesScheduled};
    }
    static MenuRefreshRequest coalescedInFlight() { return {Kind::CoalescedInFlight, {}, false}; }
    static MenuRefreshRequest coalescedScheduled() { return {Kind::CoalescedScheduled, {}, false}; }
    bool operator==(const MenuRefreshRequest&) const = default;
};

/// Runs at most one fetch at a time and spaces fetch starts: 1 s apart while something is
/// visible, 20 s otherwise. Requests that arrive meanwhile become one follow-up. Main thread.
class MenuRefreshGate {
  public:
    static constexpr Duration kVisibleInterval = std::chrono::seconds(1);
    static constexpr Duration kHiddenInterval = std::chrono::seconds(20);

    MenuRefreshRequest request(bool force, bool isVisible, Duration now);
    /// True when the caller may start the fetch now.
    bool begin(Duration now);
    /// The fetch ended; true when another refresh was asked for meanwhile.
    bool finish();
    /// Forgets the waiting delayed start.
    void cancelScheduled() { refreshScheduled = false; }

    bool refreshInFlight = false;
    bool refreshPending = false;
    bool refreshScheduled = false;
    std::optional<Duration> lastRefreshStartedAt;
};

}  // namespace corvix

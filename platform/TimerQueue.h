#pragma once

#include <cstdint>
#include <memory>
#include <queue>
#include <vector>

#include "platform/RunLoop.h"

namespace corvix {

/// Due timers in order of their due time (ties in the order they were armed). Shared by the
/// run loops that keep their own timers; main thread only.
class TimerQueue {
  public:
    void arm(std::shared_ptr<detail::TimerState> state, Duration due);
    /// The earliest due time of a live timer, if any.
    bool nextDue(Duration& due);
    /// Runs the earliest timer due at or before `now`; returns false when none is due.
    bool fireOne(Duration now);
    bool empty();

  private:
    struct Entry {
        Duration due;
        std::uint64_t sequence;
        std::shared_ptr<detail::TimerState> state;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
        }
    };
    void dropCancelled();

    std::priority_queue<Entry, std::vector<Entry>, Later> entries_;
    std::uint64_t nextSequence_ = 0;
};

}  // namespace corvix

#include "app/MenuRefreshGate.h"

namespace corvix {

MenuRefreshRequest MenuRefreshGate::request(bool force, bool isVisible, Duration now) {
    refreshPending = true;
    if (refreshInFlight) {
        return MenuRefreshRequest::coalescedInFlight();
    }
    const bool wasScheduled = refreshScheduled;
    if (wasScheduled && !force) {
        return MenuRefreshRequest::coalescedScheduled();
    }
    refreshScheduled = true;
    const Duration minimum = isVisible ? kVisibleInterval : kHiddenInterval;
    const Duration elapsed = lastRefreshStartedAt ? now - *lastRefreshStartedAt : minimum;
    Duration delay{0};
    if (!force && minimum - elapsed >= Duration::zero()) {
        delay = minimum - elapsed;
    }
    return MenuRefreshRequest::schedule(delay, wasScheduled);
}

bool MenuRefreshGate::begin(Duration now) {
    refreshScheduled = false;
    if (refreshInFlight) {
        return false;
    }
    refreshInFlight = true;
    refreshPending = false;
    lastRefreshStartedAt = now;
    return true;
}

bool MenuRefreshGate::finish() {
    refreshInFlight = false;
    return refreshPending;
}

}  // namespace corvix

#include "platform/ui/Transaction.h"

#include <cmath>
#include <vector>

#include "platform/PlatformServices.h"

namespace corvix {

namespace {
std::vector<Transaction::Settings>& stack() {
    static std::vector<Transaction::Settings> s;
    return s;
}
}  // namespace

double TimingFunction::valueAt(double t) const {
    if (t <= 0) {
        return 0;
    }
    if (t >= 1) {
        return 1;
    }
    auto bez = [](double a, double b, double u) {
        double v = 1 - u;
        return 3 * v * v * u * a + 3 * v * u * u * b + u * u * u;
    };
    // Solve x(u) = t by bisection; the curve is monotonic in x for control x in 0...1.
    double lo = 0, hi = 1, u = t;
    for (int i = 0; i < 40; ++i) {
        u = (lo + hi) / 2;
        if (bez(c1x, c2x, u) < t) {
            lo = u;
        } else {
            hi = u;
        }
    }
    return bez(c1y, c2y, u);
}

void Transaction::begin() {
    Settings s;
    if (!stack().empty()) {
        s = stack().back();
    }
    stack().push_back(s);
}

void Transaction::commit() {
    if (!stack().empty()) {
        stack().pop_back();
    }
}

void Transaction::setAnimationDuration(double seconds) {
    if (!stack().empty()) {
        stack().back().duration = seconds;
    }
}

void Transaction::setTimingFunction(TimingFunction timing) {
    if (!stack().empty()) {
        stack().back().timing = timing;
    }
}

void Transaction::setDisableActions(bool disabled) {
    if (!stack().empty()) {
        stack().back().disableActions = disabled;
    }
}

std::optional<Transaction::Settings> Transaction::current() {
    if (stack().empty()) {
        return std::nullopt;
    }
    return stack().back();
}

Duration Transaction::now() {
    RunLoop* loop = platformServices().runLoop;
    return loop ? loop->now() : Duration{0};
}

}  // namespace corvix

#pragma once

#include <optional>

#include "platform/RunLoop.h"

namespace corvix {

/// A cubic Bézier timing curve from (0, 0) to (1, 1) through two control points.
struct TimingFunction {
    double c1x = 0.25, c1y = 0.1, c2x = 0.25, c2y = 1.0;

    static constexpr TimingFunction linear() { return {0, 0, 1, 1}; }
    static constexpr TimingFunction easeIn() { return {0.42, 0, 1, 1}; }
    static constexpr TimingFunction easeOut() { return {0, 0, 0.58, 1}; }
    static constexpr TimingFunction easeInEaseOut() { return {0.42, 0, 0.58, 1}; }
    static constexpr TimingFunction defaultCurve() { return {0.25, 0.1, 0.25, 1.0}; }

    /// Progress (0...1) at time fraction `t` (0...1).
    double valueAt(double t) const;
    bool operator==(const TimingFunction&) const = default;
};

/// Groups layer property changes. Changes made while a transaction with a positive duration is
/// open (and actions are not disabled) are recorded as animations on the layers; otherwise they
/// apply at once. Transactions nest; the innermost settings win. Main thread only.
class Transaction {
  public:
    struct Settings {
        double duration = 0;  // seconds
        TimingFunction timing = TimingFunction::defaultCurve();
        bool disableActions = false;
    };

    static void begin();
    static void commit();
    static void setAnimationDuration(double seconds);
    static void setTimingFunction(TimingFunction timing);
    static void setDisableActions(bool disabled);
    /// The innermost open transaction, if any.
    static std::optional<Settings> current();
    /// Monotonic time that animations start at: the installed run loop's clock (zero without one).
    static Duration now();

    /// Opens a transaction for the lifetime of the object.
    class Scope {
      public:
        Scope() { begin(); }
        ~Scope() { commit(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };
};

}  // namespace corvix

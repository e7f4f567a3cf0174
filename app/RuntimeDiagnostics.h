#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace corvix {

class Environment;
class UserDefaults;

/// Opt-in counters, gauges and recent events, written as one snapshot to the defaults store.
/// When disabled every call is a single flag test. Safe from any thread.
class RuntimeDiagnostics {
  public:
    struct RecentEvent {
        std::string name;
        double at = 0;  // milliseconds since 1970
    };

    static constexpr const char* kSnapshotKey = "OrbeluneRuntimeDiagnostics.MenuBar";
    static constexpr std::size_t maxCounters = 48;
    static constexpr std::size_t maxRecentEvents = 64;

    RuntimeDiagnostics(bool enabled, UserDefaults* defaults, std::function<double()> wallClockMs);

    /// The shared instance, created on first use from the installed platform services.
    static RuntimeDiagnostics& menuBar();
    /// Drops the shared instance so the next use creates it anew (tests).
    static void resetMenuBar();
    /// Whether `ORBELUNE_RUNTIME_DIAGNOSTICS` switches diagnostics on.
    static bool enabledByEnvironment(const Environment& environment);

    bool enabled() const { return enabled_; }
    void count(std::string_view name, std::int64_t by = 1);
    void gauge(std::string_view name, std::int64_t value);
    void event(std::string_view name);
    /// Writes the snapshot under `kSnapshotKey`, replacing the previous one.
    void persist();

    std::map<std::string, std::int64_t, std::less<>> counters() const;
    std::map<std::string, std::int64_t, std::less<>> gauges() const;
    std::vector<RecentEvent> recentEvents() const;

  private:
    const bool enabled_;
    UserDefaults* defaults_;
    std::function<double()> wallClockMs_;
    mutable std::mutex lock_;
    std::map<std::string, std::int64_t, std::less<>> counters_;
    std::map<std::string, std::int64_t, std::less<>> gauges_;
    std::vector<RecentEvent> recentEvents_;
};

}  // namespace corvix

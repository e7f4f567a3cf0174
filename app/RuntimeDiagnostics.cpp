#include "app/RuntimeDiagnostics.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "platform/AsciiText.h"
#include "platform/Environment.h"
#include "platform/Json.h"
#include "platform/PlatformServices.h"
#include "platform/RunLoop.h"
#include "platform/UserDefaults.h"

namespace corvix {

namespace {
std::mutex sharedMutex;
std::unique_ptr<RuntimeDiagnostics> sharedInstance;
// Read without the lock on every call, so a disabled instance costs a load and a flag test.
std::atomic<RuntimeDiagnostics*> sharedPointer{nullptr};

std::string trimmedLowercase(std::string_view text) {
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    std::string out(text);
    for (auto& c : out) {
        c = asciiLower(c);
    }
    return out;
}
}  // namespace

RuntimeDiagnostics::RuntimeDiagnostics(bool enabled, UserDefaults* defaults,
                                       std::function<double()> wallClockMs)
    : enabled_(enabled), defaults_(defaults), wallClockMs_(std::move(wallClockMs)) {}

bool RuntimeDiagnostics::enabledByEnvironment(const Environment& environment) {
    auto value = environment.get("ORBELUNE_RUNTIME_DIAGNOSTICS");
    if (!value) {
        return false;
    }
    const std::string word = trimmedLowercase(*value);
    return word == "1" || word == "true" || word == "yes" || word == "on";
}

RuntimeDiagnostics& RuntimeDiagnostics::menuBar() {
    if (RuntimeDiagnostics* existing = sharedPointer.load(std::memory_order_acquire)) {
        return *existing;
    }
    std::lock_guard guard(sharedMutex);
    if (!sharedInstance) {
        const PlatformServices& services = platformServices();
        const bool enabled = services.environment && enabledByEnvironment(*services.environment);
        RunLoop* loop = services.runLoop;
        sharedInstance = std::make_unique<RuntimeDiagnostics>(
            enabled, services.defaults, [loop] { return loop ? loop->wallClockMs() : 0.0; });
        sharedPointer.store(sharedInstance.get(), std::memory_order_release);
    }
    return *sharedInstance;
}

void RuntimeDiagnostics::resetMenuBar() {
    std::lock_guard guard(sharedMutex);
    sharedPointer.store(nullptr, std::memory_order_release);
    sharedInstance.reset();
}

namespace {
/// The entry of `name` in `table`, made (at 0) while the table holds fewer than `limit` names;
/// null when the table is full and `name` is new.
std::int64_t* slot(std::map<std::string, std::int64_t, std::less<>>& table, std::string_view name,
                   std::size_t limit) {
    auto it = table.find(name);
    if (it == table.end()) {
        if (table.size() >= limit) {
            return nullptr;
        }
        it = table.emplace(std::string(name), 0).first;
    }
    return &it->second;
}
}  // namespace

void RuntimeDiagnostics::count(std::string_view name, std::int64_t by) {
    if (!enabled_) {
        return;
    }
    std::lock_guard guard(lock_);
    if (std::int64_t* counter = slot(counters_, name, maxCounters)) {
        *counter += by;
    }
}

void RuntimeDiagnostics::gauge(std::string_view name, std::int64_t value) {
    if (!enabled_) {
        return;
    }
    std::lock_guard guard(lock_);
    if (std::int64_t* gauge = slot(gauges_, name, maxCounters)) {
        *gauge = value;
    }
}

void RuntimeDiagnostics::event(std::string_view name) {
    if (!enabled_) {
        return;
    }
    const double now = wallClockMs_ ? wallClockMs_() : 0.0;
    std::lock_guard guard(lock_);
    std::int64_t* counter = slot(counters_, name, maxCounters);
    if (!counter) {
        return;  // a new name beyond the limit records no event either
    }
    *counter += 1;
    recentEvents_.push_back(RecentEvent{std::string(name), now});
    if (recentEvents_.size() > maxRecentEvents) {
        recentEvents_.erase(recentEvents_.begin(),
                            recentEvents_.end() - static_cast<std::ptrdiff_t>(maxRecentEvents));
    }
}

void RuntimeDiagnostics::persist() {
    if (!enabled_) {
        return;
    }
    json::object snapshot;
    {
        std::lock_guard guard(lock_);
        json::object counters;
        for (const auto& [name, value] : counters_) {
            counters[name] = value;
        }
        json::object gauges;
        for (const auto& [name, value] : gauges_) {
            gauges[name] = value;
        }
        json::array events;
        for (const auto& event : recentEvents_) {
            events.push_back(json::object{{"name", event.name}, {"at", event.at}});
        }
        snapshot["sampledAt"] = wallClockMs_ ? wallClockMs_() : 0.0;
        snapshot["counters"] = std::move(counters);
        snapshot["gauges"] = std::move(gauges);
        snapshot["recentEvents"] = std::move(events);
    }
    if (defaults_) {
        defaults_->recordValue(kSnapshotKey, std::move(snapshot));
    }
}

std::map<std::string, std::int64_t, std::less<>> RuntimeDiagnostics::counters() const {
    std::lock_guard guard(lock_);
    return counters_;
}

std::map<std::string, std::int64_t, std::less<>> RuntimeDiagnostics::gauges() const {
    std::lock_guard guard(lock_);
    return gauges_;
}

std::vector<RuntimeDiagnostics::RecentEvent> RuntimeDiagnostics::recentEvents() const {
    std::lock_guard guard(lock_);
    return recentEvents_;
}

}  // namespace corvix

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "hub/StateStreamParser.h"
#include "platform/Lifetime.h"
#include "platform/Result.h"
#include "platform/RunLoop.h"
#include "platform/Task.h"

namespace corvix {

class OrbeluneClient;

/// Keeps the hub's "state/stream" open, reconnecting with a growing delay, and turns each
/// meaningful event into one debounced `onInvalidate` call on the main thread. Failures are
/// silent: the menu's own fetches report hub problems.
class MacControlStateStreamClient {
  public:
    static constexpr std::uint64_t kInitialReconnectDelayNs = 1'000'000'000;
    static constexpr std::uint64_t kMaxReconnectDelayNs = 30'000'000'000;
    static constexpr Duration kDebounce = std::chrono::milliseconds(150);
    static constexpr double kStreamTimeoutSeconds = 300;

    MacControlStateStreamClient(const OrbeluneClient& client, std::function<void()> onInvalidate,
                                std::uint64_t reconnectDelayNs = kInitialReconnectDelayNs);
    ~MacControlStateStreamClient();
    MacControlStateStreamClient(const MacControlStateStreamClient&) = delete;
    MacControlStateStreamClient& operator=(const MacControlStateStreamClient&) = delete;

    /// Starts the connection loop; does nothing when it already runs.
    void start();
    /// Cancels the debounce and the loop.
    void stop();

    bool isRunning() const { return running_; }
    std::uint64_t reconnectDelayNs() const { return reconnectDelayNs_; }

  private:
    /// One attempt: its transfer and everything read from it. Callbacks of a connection that
    /// is no longer `connection_` (cancelled by `stop`, or ended) find it gone and do nothing.
    struct Connection {
        explicit Connection(StateStreamParser::Dispatch dispatch) : parser(std::move(dispatch)) {}
        TaskHandle task;
        std::optional<Error> headError;
        StateStreamParser parser;
    };

    void connectOnce();
    void connectionEnded(Result<void> outcome);
    void dispatch(const StateStreamParser::Event& event);
    /// Debounces one dispatched event (counted as coalesced when a call already waits).
    void scheduleRefresh();
    /// Starts the debounce towards one `onInvalidate` call; false when one already waits.
    bool debounce();

    const OrbeluneClient& client_;
    std::function<void()> onInvalidate_;
    std::uint64_t reconnectDelayNs_;
    bool running_ = false;
    std::shared_ptr<Connection> connection_;
    Timer reconnectTimer_;
    std::optional<Timer> debounceTask_;
    Lifetime lifetime_;
};

}  // namespace corvix

#include "hub/MacControlStateStreamClient.h"

#include <algorithm>
#include <utility>

#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"

namespace corvix {

MacControlStateStreamClient::MacControlStateStreamClient(const OrbeluneClient& client,
                                                         std::function<void()> onInvalidate,
                                                         std::uint64_t reconnectDelayNs)
    : client_(client),
      onInvalidate_(std::move(onInvalidate)),
      reconnectDelayNs_(reconnectDelayNs) {}

MacControlStateStreamClient::~MacControlStateStreamClient() {
    if (running_) {
        stop();
    }
}

void MacControlStateStreamClient::start() {
    if (running_) {
        return;
    }
    running_ = true;
    RuntimeDiagnostics::menuBar().gauge("state_stream_active", 1);
    connectOnce();
}

void MacControlStateStreamClient::stop() {
    if (debounceTask_) {
        debounceTask_->cancel();
        debounceTask_.reset();
    }
    running_ = false;
    // Dropping the connection first makes its cancelled completion, which arrives later and
    // perhaps after a new start, a stranger that changes nothing.
    if (auto connection = std::exchange(connection_, nullptr)) {
        connection->task.cancel();
    }
    reconnectTimer_.cancel();
    // The loop ends the way a cancelled connection returns: with the delay back at its start.
    reconnectDelayNs_ = kInitialReconnectDelayNs;
    RuntimeDiagnostics::menuBar().gauge("state_stream_active", 0);
}

void MacControlStateStreamClient::connectOnce() {
    // One stream at a time: whatever came before is over.
    if (auto previous = std::exchange(connection_, nullptr)) {
        previous->task.cancel();
    }
    auto request = client_.makeAuthorizedRequest("state/stream", "GET", std::nullopt,
                                                 "text/event-stream", kStreamTimeoutSeconds);
    if (!request) {
        connectionEnded(request.error());
        return;
    }
    auto alive = lifetime_.weak();
    auto connection =
        std::make_shared<Connection>([this, alive](const StateStreamParser::Event& event) {
            if (!alive.expired()) {
                dispatch(event);
            }
        });
    std::weak_ptr<Connection> weak = connection;
    // The connection a callback belongs to, while it is still the current one.
    auto current = [this, alive, weak]() -> std::shared_ptr<Connection> {
        auto self = weak.lock();
        if (alive.expired() || !running_ || !self || self != connection_) {
            return nullptr;
        }
        return self;
    };
    HttpClient::StreamCallbacks callbacks;
    callbacks.onResponse = [this, current](const HttpResponse& head) {
        auto self = current();
        if (!self) {
            return;
        }
        if (head.status < 200 || head.status > 299) {
            self->headError = programError(6, "Mac control stream failed");
            self->task.cancel();
            return;
        }
        // Events tell only of changes from now on. The hub may have changed while no stream was
        // open (before the first one, or in the wait between two), so one refresh covers that.
        debounce();
    };
    callbacks.onData = [current](std::string_view bytes) {
        auto self = current();
        if (!self || self->headError) {
            return;
        }
        self->parser.feed(bytes);
    };
    callbacks.onComplete = [this, current](Result<void> end) {
        auto self = current();
        if (!self) {
            return;
        }
        if (self->headError) {
            connectionEnded(*self->headError);
            return;
        }
        if (end.ok()) {
            self->parser.finish();
            connectionEnded(programError(7, "Mac control stream disconnected"));
            return;
        }
        connectionEnded(end.error());
    };
    connection_ = connection;
    connection->task = client_.http().stream(std::move(request.value()), std::move(callbacks));
}

void MacControlStateStreamClient::connectionEnded(Result<void> outcome) {
    connection_.reset();
    if (!running_) {
        return;
    }
    if (outcome.ok()) {
        reconnectDelayNs_ = kInitialReconnectDelayNs;
        connectOnce();
        return;
    }
    // Every end of a stream is an error, so the wait grows over the life of the loop.
    const std::uint64_t delay = reconnectDelayNs_;
    auto alive = lifetime_.weak();
    reconnectTimer_ = client_.runLoop().after(std::chrono::nanoseconds(delay), [this, alive] {
        if (alive.expired() || !running_) {
            return;
        }
        reconnectDelayNs_ = std::min(reconnectDelayNs_ * 2, kMaxReconnectDelayNs);
        connectOnce();
    });
}

void MacControlStateStreamClient::dispatch(const StateStreamParser::Event& event) {
    if (event.name == "ping") {
        return;
    }
    if (event.name.empty() && event.data.empty()) {
        return;
    }
    RuntimeDiagnostics::menuBar().event("state_stream_event");
    scheduleRefresh();
}

void MacControlStateStreamClient::scheduleRefresh() {
    if (!debounce()) {
        RuntimeDiagnostics::menuBar().count("state_stream_event_coalesced");
    }
}

bool MacControlStateStreamClient::debounce() {
    if (debounceTask_) {
        return false;
    }
    auto alive = lifetime_.weak();
    debounceTask_ = client_.runLoop().after(kDebounce, [this, alive] {
        if (alive.expired()) {
            return;
        }
        debounceTask_.reset();
        if (onInvalidate_) {
            onInvalidate_();
        }
    });
    return true;
}

}  // namespace corvix

#include "hub/MacControlStateStreamClient.h"

#include <algorithm>

#include "app/RuntimeDiagnostics.h"
#include "hub/OrbeluneClient.h"

namespace corvix {

MacControlStateStreamClient::MacControlStateStreamClient(const OrbeluneClient& client,
                                                         std::function<void()> onInvalidate,
                                                         std::uint64_t reconnectDelayNs)
    : client_(client),
      onInvalidate_(std::move(onInvalidate)),
      reconnectDelayNs_(reconnectDelayNs),
      parser_([this](const StateStreamParser::Event& event) { dispatch(event); }) {}

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
    connection_.cancel();
    connection_ = TaskHandle();
    reconnectTimer_.cancel();
    // The loop ends the way a cancelled connection returns: with the delay back at its start.
    reconnectDelayNs_ = kInitialReconnectDelayNs;
    RuntimeDiagnostics::menuBar().gauge("state_stream_active", 0);
}

void MacControlStateStreamClient::connectOnce() {
    parser_.reset();
    headError_.reset();
    auto request = client_.makeAuthorizedRequest("state/stream", "GET", std::nullopt,
                                                 "text/event-stream", kStreamTimeoutSeconds);
    if (!request) {
        connectionEnded(request.error());
        return;
    }
    auto alive = lifetime_.weak();
    HttpClient::StreamCallbacks callbacks;
    callbacks.onResponse = [this, alive](const HttpResponse& head) {
        if (alive.expired() || !running_) {
            return;
        }
        if (head.status < 200 || head.status > 299) {
            headError_ = programError(6, "Mac control stream failed");
            connection_.cancel();
        }
    };
    callbacks.onData = [this, alive](std::string_view bytes) {
        if (alive.expired() || !running_ || headError_) {
            return;
        }
        parser_.feed(bytes);
    };
    callbacks.onComplete = [this, alive](Result<void> end) {
        if (alive.expired() || !running_) {
            return;
        }
        if (headError_) {
            connectionEnded(*headError_);
            return;
        }
        if (end.ok()) {
            parser_.finish();
            connectionEnded(programError(7, "Mac control stream disconnected"));
            return;
        }
        connectionEnded(end.error());
    };
    connection_ = client_.http().stream(std::move(request.value()), std::move(callbacks));
}

void MacControlStateStreamClient::connectionEnded(Result<void> outcome) {
    connection_ = TaskHandle();
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
    if (debounceTask_) {
        RuntimeDiagnostics::menuBar().count("state_stream_event_coalesced");
        return;
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
}

}  // namespace corvix

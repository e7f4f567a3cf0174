#include "platform/testing/FakeHttpClient.h"

namespace corvix {

TaskHandle FakeHttpClient::start(std::shared_ptr<Transfer> transfer) {
    transfer->task = std::make_shared<TaskState>();
    transfers_.push_back(transfer);
    std::weak_ptr<Transfer> weak = transfer;
    transfer->task->onCancel([this, weak] {
        auto t = weak.lock();
        if (!t || t->finished) {
            return;
        }
        if (t->streaming) {
            streamEnd(t, cancellationError());
        } else {
            respond(t, cancellationError());
        }
    });
    if (!transfer->streaming && responder) {
        if (auto answer = responder(transfer->request)) {
            respond(transfer, std::move(*answer));
        }
    }
    return TaskHandle(transfer->task);
}

TaskHandle FakeHttpClient::send(HttpRequest request, Completion completion) {
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    return start(std::move(transfer));
}

TaskHandle FakeHttpClient::stream(HttpRequest request, StreamCallbacks callbacks) {
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    transfer->streaming = true;
    transfer->callbacks = std::move(callbacks);
    return start(std::move(transfer));
}

std::vector<std::shared_ptr<FakeHttpClient::Transfer>> FakeHttpClient::open() const {
    std::vector<std::shared_ptr<Transfer>> waiting;
    for (const auto& t : transfers_) {
        if (!t->finished) {
            waiting.push_back(t);
        }
    }
    return waiting;
}

void FakeHttpClient::respond(const std::shared_ptr<Transfer>& transfer,
                             Result<HttpResponse> result) {
    if (transfer->finished) {
        return;
    }
    transfer->finished = true;
    const auto& limit = transfer->request.maxBodyBytes;
    if (result.ok() && limit && result.value().body.size() > *limit) {
        result = Result<HttpResponse>(Error{kUrlErrorDomain, kUrlErrorBadServerResponse,
                                            "The server's answer was too large."});
    }
    auto completion = std::move(transfer->completion);
    loop_.post([completion = std::move(completion), result = std::move(result)]() mutable {
        if (completion) {
            completion(std::move(result));
        }
    });
}

void FakeHttpClient::respond(const std::shared_ptr<Transfer>& transfer, int status,
                             std::string body) {
    respond(transfer, HttpResponse{status, {}, std::move(body)});
}

void FakeHttpClient::streamHead(const std::shared_ptr<Transfer>& transfer, int status) {
    loop_.post([transfer, status] {
        if (!transfer->task->isCancelled() && transfer->callbacks.onResponse) {
            transfer->callbacks.onResponse(HttpResponse{status, {}, {}});
        }
    });
}

void FakeHttpClient::streamData(const std::shared_ptr<Transfer>& transfer, std::string bytes) {
    loop_.post([transfer, bytes = std::move(bytes)] {
        if (!transfer->task->isCancelled() && transfer->callbacks.onData) {
            transfer->callbacks.onData(bytes);
        }
    });
}

void FakeHttpClient::streamEnd(const std::shared_ptr<Transfer>& transfer, Result<void> end) {
    if (transfer->finished) {
        return;
    }
    transfer->finished = true;
    auto onComplete = std::move(transfer->callbacks.onComplete);
    loop_.post([onComplete = std::move(onComplete), end = std::move(end)]() mutable {
        if (onComplete) {
            onComplete(std::move(end));
        }
    });
}

}  // namespace corvix

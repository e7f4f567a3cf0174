#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/RunLoop.h"

namespace corvix {

/// An HTTP client whose answers the test gives: by a responder function, or one transfer at a
/// time. Every request is recorded. Completions are posted to the run loop as the real client's.
class FakeHttpClient final : public HttpClient {
  public:
    struct Transfer {
        HttpRequest request;
        bool streaming = false;
        Completion completion;
        StreamCallbacks callbacks;
        std::shared_ptr<TaskState> task;
        bool finished = false;
    };
    /// Answers a request at once, or returns none to leave it waiting.
    using Responder = std::function<std::optional<Result<HttpResponse>>(const HttpRequest&)>;

    explicit FakeHttpClient(RunLoop& loop) : loop_(loop) {}

    TaskHandle send(HttpRequest request, Completion completion) override;
    TaskHandle stream(HttpRequest request, StreamCallbacks callbacks) override;

    Responder responder;

    /// Every transfer in the order it was started.
    const std::vector<std::shared_ptr<Transfer>>& transfers() const { return transfers_; }
    std::shared_ptr<Transfer> last() const {
        return transfers_.empty() ? nullptr : transfers_.back();
    }
    /// Transfers neither completed nor cancelled.
    std::vector<std::shared_ptr<Transfer>> open() const;

    void respond(const std::shared_ptr<Transfer>& transfer, Result<HttpResponse> result);
    void respond(const std::shared_ptr<Transfer>& transfer, int status, std::string body);
    // Streams: the head, pieces of body, and the end.
    void streamHead(const std::shared_ptr<Transfer>& transfer, int status);
    void streamData(const std::shared_ptr<Transfer>& transfer, std::string bytes);
    void streamEnd(const std::shared_ptr<Transfer>& transfer, Result<void> end = Result<void>());

  private:
    TaskHandle start(std::shared_ptr<Transfer> transfer);

    RunLoop& loop_;
    std::vector<std::shared_ptr<Transfer>> transfers_;
};

}  // namespace corvix

#pragma once

#include <memory>

#include "platform/HttpClient.h"
#include "platform/RunLoop.h"

namespace corvix {

/// The network on libcurl: one thread runs every transfer with curl multi and posts results
/// to the main thread. Time-outs are idle time-outs (no byte for that long), and redirects are
/// followed only when a request asks for it.
class CurlHttpClient final : public HttpClient {
  public:
    /// Largest whole body accepted by `send`; a larger answer fails instead of eating memory.
    static constexpr std::size_t kMaxBodyBytes = 64u << 20;

    explicit CurlHttpClient(RunLoop& loop);
    /// Ends every transfer (their completions still run, with the cancellation error).
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    TaskHandle send(HttpRequest request, Completion completion) override;
    TaskHandle stream(HttpRequest request, StreamCallbacks callbacks) override;

  private:
    class Engine;
    std::shared_ptr<Engine> engine_;
};

}  // namespace corvix

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Json.h"
#include "platform/Result.h"
#include "platform/Task.h"

namespace corvix {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

/// Value of the first header named `name` (case-insensitive), if present.
std::optional<std::string> headerValue(const HttpHeaders& headers, std::string_view name);

enum class CachePolicy { UseProtocolCachePolicy, ReloadIgnoringLocalCacheData };

struct HttpRequest {
    std::string url;
    std::string method = "GET";
    HttpHeaders headers;
    std::optional<std::string> body;
    CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy;
    /// Idle time-out: the transfer fails when no byte arrived for this long.
    double timeoutSeconds = 60;
    /// Requests carrying the hub's token never follow redirects.
    bool followRedirects = false;
    /// Also read a 2xx body as JSON (with the nesting limit) before the completion, off the
    /// main thread where the client can; the answer carries it in `document`.
    bool parseJsonBody = false;
    /// Whole-body requests: a longer body fails the transfer (the client's own cap applies too).
    std::optional<std::size_t> maxBodyBytes;

    /// Sets a header, replacing one of the same name.
    void setHeader(std::string name, std::string value);
    std::optional<std::string> header(std::string_view name) const {
        return headerValue(headers, name);
    }
};

struct HttpResponse {
    int status = 0;
    HttpHeaders headers;
    std::string body;
    /// The body's JSON reading (or its parse error), when the request asked for it and the
    /// client made it; absent otherwise, and the reader parses the body itself.
    std::optional<Result<json::value>> document = std::nullopt;
};

/// The network. Completions and stream callbacks run on the main thread; a cancelled transfer
/// ends promptly and completes with the cancellation error.
class HttpClient {
  public:
    using Completion = std::function<void(Result<HttpResponse>)>;

    struct StreamCallbacks {
        /// The answer's status and headers (empty body), before any data.
        std::function<void(const HttpResponse& head)> onResponse;
        /// The next bytes of the body, in order.
        std::function<void(std::string_view bytes)> onData;
        /// The end: success when the body ended normally, else the error.
        std::function<void(Result<void> end)> onComplete;
    };

    virtual ~HttpClient() = default;

    /// One request; the whole body arrives with the completion.
    virtual TaskHandle send(HttpRequest request, Completion completion) = 0;
    /// One request whose body is delivered as it arrives.
    virtual TaskHandle stream(HttpRequest request, StreamCallbacks callbacks) = 0;
};

}  // namespace corvix

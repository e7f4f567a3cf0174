#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/HttpClient.h"
#include "platform/Result.h"
#include "platform/Task.h"

namespace corvix {

/// What a picture download ends with: the transfer's answer (any status), or its error. A task
/// cancelled before it ended always ends with the cancellation error, even when bytes arrived.
/// `identity` is the returned task's, so a caller can tell its latest download from older ones.
using ImageDownloadDone =
    std::function<void(Result<HttpResponse> answer, const TaskState* identity)>;

/// A bare GET of a picture from a host that need not be the hub: none of the hub's headers (its
/// token must never reach another host), redirects followed, the body limited to
/// `maxBodyBytes`. Without an HTTP client it ends, on the run loop's next turn, with an error.
TaskHandle downloadImage(const std::string& url, std::size_t maxBodyBytes, ImageDownloadDone done);

}  // namespace corvix

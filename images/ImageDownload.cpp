#include "images/ImageDownload.h"

#include <memory>
#include <utility>

#include "platform/PlatformServices.h"
#include "platform/RunLoop.h"
#include "platform/Url.h"
#include "state/StateAccessors.h"

namespace corvix {

TaskHandle downloadImage(const std::string& url, std::size_t maxBodyBytes, ImageDownloadDone done) {
    auto task = std::make_shared<TaskState>();
    const TaskState* identity = task.get();
    HttpClient* http = platformServices().http;
    if (!http) {
        if (RunLoop* loop = platformServices().runLoop) {
            loop->post([done = std::move(done), identity] {
                done(Error{kUrlErrorDomain, kUrlErrorUnknown, "No HTTP client"}, identity);
            });
        }
        return TaskHandle(task);
    }
    HttpRequest request;
    // Every picture's address comes through here: one with a space or a non-ASCII name is
    // fetched by its encoded form, as its parse read it.
    request.url = encodeInvalidUrlCharacters(url);
    request.followRedirects = true;
    request.maxBodyBytes = maxBodyBytes;
    // The completion keeps the task alive, so its identity stays unique until `done` ran.
    TaskHandle transfer = http->send(
        std::move(request), [task, identity, done = std::move(done)](Result<HttpResponse> r) {
            if (task->isCancelled() || (!r.ok() && isCancellationError(r.error()))) {
                done(cancellationError(), identity);
                return;
            }
            done(std::move(r), identity);
        });
    task->onCancel([transfer] { transfer.cancel(); });
    return TaskHandle(task);
}

}  // namespace corvix

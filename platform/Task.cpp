#include "platform/Task.h"

namespace corvix {

void TaskState::cancel() {
    if (cancelled_.exchange(true)) {
        return;
    }
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(mutex_);
        handlers.swap(handlers_);
    }
    for (auto& handler : handlers) {
        handler();
    }
}

void TaskState::onCancel(std::function<void()> handler) {
    {
        std::lock_guard lock(mutex_);
        if (!cancelled_.load()) {
            handlers_.push_back(std::move(handler));
            return;
        }
    }
    handler();
}

}  // namespace corvix

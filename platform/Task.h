#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Result.h"
#include "platform/RunLoop.h"

namespace corvix {

/// Shared state of one asynchronous operation: whether it was cancelled, and what to do then.
class TaskState {
  public:
    /// Marks the task cancelled and runs the cancel handlers once. Safe from any thread.
    void cancel();
    bool isCancelled() const { return cancelled_.load(); }
    /// Runs `handler` when the task is cancelled; at once when it already is.
    void onCancel(std::function<void()> handler);

  private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::vector<std::function<void()>> handlers_;
};

/// The handle an asynchronous operation returns. Cancelling it ends the operation promptly; its
/// completion then runs with the cancellation error. Destroying the handle does not cancel.
class TaskHandle {
  public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<TaskState> state) : state_(std::move(state)) {}

    void cancel() const {
        if (state_) {
            state_->cancel();
        }
    }
    bool isCancelled() const { return state_ && state_->isCancelled(); }
    explicit operator bool() const { return state_ != nullptr; }
    const std::shared_ptr<TaskState>& state() const { return state_; }

  private:
    std::shared_ptr<TaskState> state_;
};

/// The producing side of an operation: completes it exactly once, on the main thread, with a
/// value, an error or (when cancelled first) the cancellation error.
template <typename T>
class Promise {
  public:
    using Completion = std::function<void(Result<T>)>;

    Promise(RunLoop& loop, Completion completion)
        : shared_(std::make_shared<Shared>(loop, std::move(completion))),
          task_(std::make_shared<TaskState>()) {
        std::weak_ptr<Shared> weak = shared_;
        task_->onCancel([weak] {
            if (auto shared = weak.lock()) {
                shared->finish(Result<T>(cancellationError()));
            }
        });
    }

    /// Completes the operation; later calls (and a cancellation after it) are ignored. Any thread.
    void resolve(Result<T> result) const { shared_->finish(std::move(result)); }
    bool isCancelled() const { return task_->isCancelled(); }
    TaskHandle handle() const { return TaskHandle(task_); }
    /// Cancels `inner` when this operation is cancelled.
    void chain(const TaskHandle& inner) const {
        task_->onCancel([inner] { inner.cancel(); });
    }

  private:
    struct Shared {
        Shared(RunLoop& l, Completion c) : loop(l), completion(std::move(c)) {}
        void finish(Result<T> result) {
            if (done.exchange(true)) {
                return;
            }
            auto fn = std::move(completion);
            completion = nullptr;
            if (fn) {
                loop.post([fn = std::move(fn), result = std::move(result)]() mutable {
                    fn(std::move(result));
                });
            }
        }
        RunLoop& loop;
        Completion completion;
        std::atomic<bool> done{false};
    };

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<TaskState> task_;
};

}  // namespace corvix

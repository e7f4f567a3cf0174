#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace corvix {

/// Keeps an observer registered; dropping (or resetting) it unregisters.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::shared_ptr<void> token) : token_(std::move(token)) {}
    void reset() { token_.reset(); }
    explicit operator bool() const { return token_ != nullptr; }

  private:
    std::shared_ptr<void> token_;
};

/// Callbacks notified in registration order; each lives as long as its Subscription.
template <typename... Args>
class ObserverList {
  public:
    using Callback = std::function<void(Args...)>;

    Subscription add(Callback callback) {
        auto entry = std::make_shared<Callback>(std::move(callback));
        entries_.push_back(entry);
        return Subscription(entry);
    }
    void notify(Args... args) {
        std::erase_if(entries_, [](const auto& w) { return w.expired(); });
        auto snapshot = entries_;
        for (auto& weak : snapshot) {
            if (auto entry = weak.lock()) {
                (*entry)(args...);
            }
        }
    }
    std::size_t size() const {
        std::size_t n = 0;
        for (auto& w : entries_) {
            n += w.expired() ? 0 : 1;
        }
        return n;
    }

  private:
    std::vector<std::weak_ptr<Callback>> entries_;
};

}  // namespace corvix

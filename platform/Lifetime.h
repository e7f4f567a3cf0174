#pragma once

#include <memory>

namespace corvix {

/// Lets closures held by timers, tasks and controls notice that their owner is gone. The owner
/// keeps a `Lifetime` member; closures capture `lifetime.weak()` and do nothing once it expired.
class Lifetime {
  public:
    Lifetime() : token_(std::make_shared<char>(0)) {}
    Lifetime(const Lifetime&) : Lifetime() {}  // a copy is a new owner
    Lifetime& operator=(const Lifetime&) { return *this; }

    std::weak_ptr<void> weak() const { return token_; }

  private:
    std::shared_ptr<char> token_;
};

}  // namespace corvix

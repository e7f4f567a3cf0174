#pragma once

#include <cassert>
#include <utility>
#include <variant>

#include "platform/Error.h"

namespace corvix {

/// A value or the error that prevented it. Failures travel as values across the logic.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : storage_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : storage_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return storage_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(storage_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(storage_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(storage_));
    }
    const Error& error() const {
        assert(!ok());
        return std::get<1>(storage_);
    }

  private:
    std::variant<T, Error> storage_;
};

/// Success without a value, or an error.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const {
        assert(failed_);
        return error_;
    }

  private:
    Error error_;
    bool failed_ = false;
};

}  // namespace corvix

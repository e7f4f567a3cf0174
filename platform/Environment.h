#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvix {

/// The process environment, replaceable in tests.
class Environment {
  public:
    virtual ~Environment() = default;
    /// The variable's value; present even when empty.
    virtual std::optional<std::string> get(std::string_view name) const = 0;
};

/// The real environment of this process.
class ProcessEnvironment final : public Environment {
  public:
    std::optional<std::string> get(std::string_view name) const override;
};

/// A fixed set of variables.
class MapEnvironment final : public Environment {
  public:
    MapEnvironment() = default;
    explicit MapEnvironment(std::map<std::string, std::string, std::less<>> values)
        : values_(std::move(values)) {}
    void set(std::string name, std::string value) { values_[std::move(name)] = std::move(value); }
    void unset(std::string_view name) {
        if (auto it = values_.find(name); it != values_.end()) {
            values_.erase(it);
        }
    }
    std::optional<std::string> get(std::string_view name) const override {
        auto it = values_.find(name);
        return it == values_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

  private:
    std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace corvix

#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Json.h"

namespace corvix {

/// The per-user preferences store: JSON values by key. Safe from any thread.
class UserDefaults {
  public:
    virtual ~UserDefaults() = default;

    virtual std::optional<json::value> value(std::string_view key) const = 0;
    virtual void setValue(std::string_view key, json::value value) = 0;
    virtual void removeValue(std::string_view key) = 0;

    /// The stored value read as a boolean (numbers: non-zero), none when never written.
    std::optional<bool> boolean(std::string_view key) const;
    void setBoolean(std::string_view key, bool value) { setValue(key, json::value(value)); }
};

/// Keeps the values in memory only.
class InMemoryUserDefaults final : public UserDefaults {
  public:
    std::optional<json::value> value(std::string_view key) const override;
    void setValue(std::string_view key, json::value value) override;
    void removeValue(std::string_view key) override;

  private:
    mutable std::mutex mutex_;
    json::object values_;
};

/// A JSON file, rewritten whole and atomically (temporary file, flush, rename, folder sync) on
/// each change, so a crash never leaves it half-written. Each change is made under a lock to
/// what is on disk then, so writers in other processes lose nothing. A file that cannot be read
/// counts as empty; the first write moves it aside (`defaults.json.unreadable-<UTC time>`)
/// instead of replacing the user's values for good.
class JsonFileUserDefaults final : public UserDefaults {
  public:
    explicit JsonFileUserDefaults(std::filesystem::path file);

    /// `$XDG_CONFIG_HOME/corvix/defaults.json`, or `~/.config/corvix/defaults.json`.
    static std::filesystem::path defaultPath(const class Environment& environment);

    std::optional<json::value> value(std::string_view key) const override;
    void setValue(std::string_view key, json::value value) override;
    void removeValue(std::string_view key) override;

    const std::filesystem::path& path() const { return file_; }
    /// Whether the last write reached the disk.
    bool lastWriteSucceeded() const;

  private:
    void load();
    /// Re-reads the store under the lock, applies `change` (false: nothing to write) and writes.
    bool update(const std::function<bool(json::object&)>& change);
    bool write();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    json::object values_;
    bool lastWriteSucceeded_ = true;
};

}  // namespace corvix

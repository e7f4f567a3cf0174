#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
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
    /// Stores a value the program keeps about itself, not a choice of the user's. A file store
    /// that cannot be read is left as it is for such a value; only a choice replaces it.
    virtual void recordValue(std::string_view key, json::value value) {
        setValue(key, std::move(value));
    }

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
/// what is on disk then, so writers in other processes lose nothing. Only a regular file is
/// read, and never with a wait (a FIFO in its place reads as unreadable). A file that cannot be
/// read counts as empty; the first choice saved moves it aside
/// (`defaults.json.unreadable-<UTC time>`) instead of replacing the user's values for good.
/// When the lock stays taken longer than `lockTimeout` the change is kept in memory and saved
/// with the next one.
class JsonFileUserDefaults final : public UserDefaults {
  public:
    static constexpr std::chrono::milliseconds kLockTimeout{2000};
    /// A store larger than this is not ours (it holds a few choices and a diagnostics snapshot).
    static constexpr std::size_t kMaxStoreBytes = 4u << 20;

    explicit JsonFileUserDefaults(std::filesystem::path file,
                                  std::chrono::milliseconds lockTimeout = kLockTimeout);

    /// `$XDG_CONFIG_HOME/corvix/defaults.json`, or `~/.config/corvix/defaults.json`.
    static std::filesystem::path defaultPath(const class Environment& environment);

    std::optional<json::value> value(std::string_view key) const override;
    void setValue(std::string_view key, json::value value) override;
    void removeValue(std::string_view key) override;
    void recordValue(std::string_view key, json::value value) override;

    const std::filesystem::path& path() const { return file_; }
    /// Whether the last write reached the disk.
    bool lastWriteSucceeded() const;

  private:
    void load();
    void removeStaleTemporaryFiles();
    /// Notes `value` (none: removal) for `key` in memory and saves what is waiting.
    void change(std::string_view key, std::optional<json::value> value, bool choice);
    /// Re-reads the store under the lock, applies the waiting changes and writes.
    bool save(bool choice);
    bool write();

    std::filesystem::path file_;
    std::chrono::milliseconds lockTimeout_;
    mutable std::mutex mutex_;
    json::object values_;
    /// Changes not yet on disk, by key; none is a removal.
    std::map<std::string, std::optional<json::value>, std::less<>> pending_;
    bool lastWriteSucceeded_ = true;
};

}  // namespace corvix

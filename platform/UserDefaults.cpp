#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "platform/AsciiText.h"
#include "platform/Environment.h"
#include "platform/RegularFile.h"

namespace corvix {

std::optional<bool> UserDefaults::boolean(std::string_view key) const {
    auto stored = value(key);
    if (!stored) {
        return std::nullopt;
    }
    if (stored->is_bool()) {
        return stored->get_bool();
    }
    if (stored->is_int64()) {
        return stored->get_int64() != 0;
    }
    if (stored->is_uint64()) {
        return stored->get_uint64() != 0;
    }
    if (stored->is_double()) {
        return stored->get_double() != 0;
    }
    if (stored->is_string()) {
        const std::string text = asciiLowercased(stored->get_string());
        return text == "1" || text == "true" || text == "yes" || text == "on";
    }
    return false;
}

std::optional<json::value> InMemoryUserDefaults::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (auto* found = values_.if_contains(key)) {
        return *found;
    }
    return std::nullopt;
}

void InMemoryUserDefaults::setValue(std::string_view key, json::value value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
}

void InMemoryUserDefaults::removeValue(std::string_view key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

namespace {

enum class StoreRead { Missing, Readable, Unreadable };

StoreRead readStore(const std::filesystem::path& file, json::object& values) {
    auto text = readRegularFile(file, JsonFileUserDefaults::kMaxStoreBytes);
    if (!text) {
        std::error_code ec;
        return std::filesystem::exists(file, ec) ? StoreRead::Unreadable : StoreRead::Missing;
    }
    auto parsed = parseJson(*text);
    if (!parsed || !parsed.value().is_object()) {
        return StoreRead::Unreadable;
    }
    values = std::move(parsed.value().as_object());
    return StoreRead::Readable;
}

/// A rename is durable only once the folder that holds the name is synced.
void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/// Keeps a store that could not be read next to the new one, under a name that says so.
bool moveAside(const std::filesystem::path& file) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string stem = file.string() + ".unreadable-" + stamp;
    std::string aside = stem;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(aside, ec); ++n) {
        aside = stem + "-" + std::to_string(n);
    }
    return std::rename(file.c_str(), aside.c_str()) == 0;
}

/// An exclusive lock between every writer of the store, other processes included; released
/// when the descriptor closes. Waits at most `timeout` for another holder.
class StoreLock {
  public:
    StoreLock(const std::filesystem::path& file, std::chrono::milliseconds timeout) {
        const std::string name = file.string() + ".lock";
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            return;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
            release();
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                timedOut_ = errno == EWOULDBLOCK;
                release();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~StoreLock() { release(); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }
    /// Another process held the lock for longer than the wait.
    bool timedOut() const { return timedOut_; }

  private:
    void release() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    int fd_ = -1;
    bool timedOut_ = false;
};

}  // namespace

JsonFileUserDefaults::JsonFileUserDefaults(std::filesystem::path file,
                                           std::chrono::milliseconds lockTimeout)
    : file_(std::move(file)), lockTimeout_(lockTimeout) {
    load();
    removeStaleTemporaryFiles();
}

std::filesystem::path JsonFileUserDefaults::defaultPath(const Environment& environment) {
    std::filesystem::path base;
    if (auto xdg = environment.get("XDG_CONFIG_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/') {
        base = *xdg;
    } else {
        auto home = environment.get("HOME");
        base = std::filesystem::path(home && !home->empty() ? *home : "/tmp") / ".config";
    }
    return base / "corvix" / "defaults.json";
}

void JsonFileUserDefaults::load() {
    readStore(file_, values_);
}

std::optional<json::value> JsonFileUserDefaults::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (auto* found = values_.if_contains(key)) {
        return *found;
    }
    return std::nullopt;
}

void JsonFileUserDefaults::setValue(std::string_view key, json::value value) {
    change(key, std::move(value), true);
}

void JsonFileUserDefaults::removeValue(std::string_view key) {
    change(key, std::nullopt, true);
}

void JsonFileUserDefaults::recordValue(std::string_view key, json::value value) {
    change(key, std::move(value), false);
}

bool JsonFileUserDefaults::lastWriteSucceeded() const {
    std::lock_guard lock(mutex_);
    return lastWriteSucceeded_;
}

void JsonFileUserDefaults::change(std::string_view key, std::optional<json::value> value,
                                  bool choice) {
    std::lock_guard lock(mutex_);
    if (value) {
        values_[key] = *value;
    } else {
        values_.erase(key);
    }
    pending_.insert_or_assign(std::string(key), std::move(value));
    lastWriteSucceeded_ = save(choice);
}

bool JsonFileUserDefaults::save(bool choice) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    StoreLock lock(file_, lockTimeout_);
    if (!lock.held()) {
        if (lock.timedOut()) {
            std::fprintf(stderr,
                         "corvix: %s is locked by another program; the change is kept and saved "
                         "with the next one\n",
                         file_.c_str());
        }
        return false;
    }
    // Another writer may have changed the store since it was read: start from what is on disk
    // so that its values are kept, and change only the keys changed here.
    json::object current;
    switch (readStore(file_, current)) {
        case StoreRead::Readable:
            values_ = std::move(current);
            break;
        case StoreRead::Unreadable:
            // Only a choice of the user's is worth more than what the file may still hold.
            if (!choice || !moveAside(file_)) {
                return false;
            }
            break;
        case StoreRead::Missing:
            break;
    }
    bool changed = false;
    for (auto& [key, value] : pending_) {
        if (value) {
            values_[key] = *value;
            changed = true;
        } else {
            changed = values_.erase(key) > 0 || changed;
        }
    }
    if (changed && !write()) {
        return false;
    }
    pending_.clear();
    return true;
}

void JsonFileUserDefaults::removeStaleTemporaryFiles() {
    // A kill during a write leaves its temporary file; writers make theirs under the lock, so
    // while we hold it every one there is left over.
    const std::string prefix = file_.filename().string() + ".tmp-";
    auto leftovers = [&] {
        std::vector<std::filesystem::path> found;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(file_.parent_path(), ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->path().filename().string().starts_with(prefix)) {
                found.push_back(it->path());
            }
        }
        return found;
    };
    if (leftovers().empty()) {
        return;
    }
    StoreLock lock(file_, lockTimeout_);
    if (!lock.held()) {
        return;
    }
    for (const auto& path : leftovers()) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::getuid()) {
            ::unlink(path.c_str());
        }
    }
}

bool JsonFileUserDefaults::write() {
    const std::string text = json::serialize(values_);
    // A name of its own, so writers never truncate each other's temporary file.
    std::string temporary = file_.string() + ".tmp-XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), file_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(file_.parent_path());
    return true;
}

}  // namespace corvix

#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/Environment.h"

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
        std::string text(stored->get_string());
        for (auto& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
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

std::optional<std::string> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

enum class StoreRead { Missing, Readable, Unreadable };

StoreRead readStore(const std::filesystem::path& file, json::object& values) {
    auto text = readWhole(file);
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
/// when the descriptor closes.
class StoreLock {
  public:
    explicit StoreLock(const std::filesystem::path& file) {
        const std::string name = file.string() + ".lock";
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

JsonFileUserDefaults::JsonFileUserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    load();
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
    std::lock_guard lock(mutex_);
    lastWriteSucceeded_ = update([&](json::object& values) {
        values[key] = value;
        return true;
    });
}

void JsonFileUserDefaults::removeValue(std::string_view key) {
    std::lock_guard lock(mutex_);
    lastWriteSucceeded_ = update([&](json::object& values) { return values.erase(key) > 0; });
}

bool JsonFileUserDefaults::lastWriteSucceeded() const {
    std::lock_guard lock(mutex_);
    return lastWriteSucceeded_;
}

bool JsonFileUserDefaults::update(const std::function<bool(json::object&)>& change) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    StoreLock lock(file_);
    if (!lock.held()) {
        change(values_);
        return false;
    }
    // Another writer may have changed the store since it was read: start from what is on disk
    // so that its values are kept, and change only this key.
    json::object current;
    switch (readStore(file_, current)) {
        case StoreRead::Readable:
            values_ = std::move(current);
            break;
        case StoreRead::Unreadable:
            if (!moveAside(file_)) {
                change(values_);
                return false;
            }
            break;
        case StoreRead::Missing:
            break;
    }
    if (!change(values_)) {
        return true;
    }
    return write();
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

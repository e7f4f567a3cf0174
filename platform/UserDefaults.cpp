#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
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
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto parsed = parseJson(text.str());
    if (parsed && parsed.value().is_object()) {
        values_ = std::move(parsed.value().as_object());
    }
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
    values_[key] = std::move(value);
    lastWriteSucceeded_ = write();
}

void JsonFileUserDefaults::removeValue(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (values_.erase(key) > 0) {
        lastWriteSucceeded_ = write();
    }
}

bool JsonFileUserDefaults::lastWriteSucceeded() const {
    std::lock_guard lock(mutex_);
    return lastWriteSucceeded_;
}

bool JsonFileUserDefaults::write() {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const std::string text = json::serialize(values_);
    const std::filesystem::path temporary = file_.string() + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
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
    return true;
}

}  // namespace corvix

#include "TokenFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace hubsim {
namespace {

std::string trim(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::string defaultTokenFilePath() {
    const char* home = std::getenv("HOME");
    std::string base = home && *home ? home : ".";
    return base + "/.orbelune/mac-control/token";
}

std::string randomToken() {
    std::random_device device;
    static constexpr char hex[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 40; ++i) {
        token += hex[device() % 16];
    }
    return token;
}

std::string loadOrCreateToken(const std::string& path, std::string& error) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::stringstream buffer;
            buffer << in.rdbuf();
            std::string token = trim(buffer.str());
            if (!token.empty()) {
                return token;
            }
        }
    }
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ec);
        if (ec) {
            error = "cannot create " + parent.string() + ": " + ec.message();
            return {};
        }
        ::chmod(parent.c_str(), 0700);
    }
    std::string token = randomToken();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return {};
    }
    ::fchmod(fd, 0600);
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!written) {
        error = "cannot write " + path;
        return {};
    }
    return token;
}

}  // namespace hubsim

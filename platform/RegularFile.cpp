#include "platform/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace corvix {

std::optional<std::string> readRegularFile(const std::filesystem::path& file,
                                           std::size_t maxBytes) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
                  static_cast<std::uintmax_t>(info.st_size) <= maxBytes;
    std::string text;
    if (usable) {
        // One byte more than allowed tells a file that grew since fstat.
        text.resize(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t length = 0;
        for (;;) {
            if (length == text.size()) {
                if (length > maxBytes) {
                    usable = false;
                    break;
                }
                text.resize(std::min(maxBytes + 1, length * 2 + 1));
            }
            const ssize_t n = ::read(fd, text.data() + length, text.size() - length);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                usable = n == 0;
                break;
            }
            length += static_cast<std::size_t>(n);
        }
        text.resize(length);
        usable = usable && length <= maxBytes;
    }
    ::close(fd);
    if (!usable) {
        return std::nullopt;
    }
    return text;
}

}  // namespace corvix

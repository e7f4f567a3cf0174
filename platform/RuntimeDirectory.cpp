#include "platform/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/Environment.h"

namespace corvix {

bool RuntimeDirectory::isPrivate(const std::filesystem::path& folder, bool followLink) {
    struct stat info {};
    const int status = followLink ? ::stat(folder.c_str(), &info) : ::lstat(folder.c_str(), &info);
    return status == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

std::optional<RuntimeDirectory> RuntimeDirectory::choose(const Environment& environment) {
    auto absolute = [&](const char* name) -> std::optional<std::filesystem::path> {
        auto value = environment.get(name);
        if (value && !value->empty() && (*value)[0] == '/') {
            return std::filesystem::path(*value);
        }
        return std::nullopt;
    };
    if (auto xdg = absolute("XDG_RUNTIME_DIR"); xdg && isPrivate(*xdg, true)) {
        return RuntimeDirectory{*xdg, false};
    }
    const std::filesystem::path tmp = absolute("TMPDIR").value_or("/tmp");
    // A fixed name, so that every start of this user finds the same lock. Another user may have
    // made it first (or put a link there), in which case it is not ours and is left alone.
    const auto shared = tmp / ("corvix-" + std::to_string(::getuid()));
    if (::mkdir(shared.c_str(), 0700) == 0 || errno == EEXIST) {
        if (isPrivate(shared, false)) {
            return RuntimeDirectory{shared, false};
        }
    }
    std::string unique = (tmp / ("corvix-" + std::to_string(::getuid()) + "-XXXXXX")).string();
    if (::mkdtemp(unique.data())) {
        return RuntimeDirectory{unique, true};
    }
    return std::nullopt;
}

}  // namespace corvix

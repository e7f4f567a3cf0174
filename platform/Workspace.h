#pragma once

#include <functional>
#include <string>

namespace corvix {

/// Opens things with the desktop's default applications; provided by the backend.
class Workspace {
  public:
    virtual ~Workspace() = default;
    /// Opens `url` (a web address in the browser). `failed` runs on the main thread when no
    /// program could open it: at once when none could be started, or shortly after when the
    /// opener itself reports that it failed (no browser is set up).
    virtual void openURL(const std::string& url, std::function<void()> failed) = 0;
};

}  // namespace corvix

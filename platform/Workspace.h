#pragma once

#include <string>

namespace corvix {

/// Opens things with the desktop's default applications; provided by the backend.
class Workspace {
  public:
    virtual ~Workspace() = default;
    /// Opens `url` (a web address in the browser); false when nothing could open it.
    virtual bool openURL(const std::string& url) = 0;
};

}  // namespace corvix

#pragma once

#include <string>

#include "platform/Error.h"

namespace corvix {

/// The failure says the hub does not support the command; callers refresh instead of alerting.
bool isUnsupportedError(const Error& failure);

/// The title and detail an alert tells the user about a failed command.
struct CommandFailurePresentation {
    std::string title;
    std::string detail;

    bool operator==(const CommandFailurePresentation&) const = default;
};

/// The first known kind of failure its description mentions, else "Command failed" with the
/// description itself.
CommandFailurePresentation commandFailurePresentation(const Error& failure);

/// Shows the failure's presentation in a warning alert on the main thread. Returns at once;
/// callable from any thread.
void showError(const Error& failure);

}  // namespace corvix

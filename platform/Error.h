#pragma once

#include <string>
#include <utility>

namespace corvix {

/// An error value: a domain, an integer code and the text a user may be shown.
struct Error {
    std::string domain;
    int code = 0;
    std::string description;

    bool operator==(const Error&) const = default;
};

/// Domain of the errors the program raises itself.
inline constexpr const char* kProgramErrorDomain = "OrbeluneMenuBar";
/// Domain of the network layer's errors (the curl backend and the fakes).
inline constexpr const char* kUrlErrorDomain = "NSURLErrorDomain";
/// Domain of the error a cancelled task completes with.
inline constexpr const char* kTaskCancellationDomain = "CorvixTaskCancellation";
/// Domain of JSON parse failures.
inline constexpr const char* kJsonErrorDomain = "CorvixJSON";

/// The URL-loading code of a cancelled transfer.
inline constexpr int kUrlErrorCancelled = -999;
inline constexpr int kUrlErrorTimedOut = -1001;
inline constexpr int kUrlErrorCannotConnectToHost = -1004;
inline constexpr int kUrlErrorNetworkConnectionLost = -1005;
inline constexpr int kUrlErrorBadUrl = -1000;
inline constexpr int kUrlErrorBadServerResponse = -1011;
inline constexpr int kUrlErrorUnknown = -1;

inline Error programError(int code, std::string description) {
    return Error{kProgramErrorDomain, code, std::move(description)};
}

/// The error every cancelled task completes with.
inline Error cancellationError() {
    return Error{kTaskCancellationDomain, 0, "The operation was cancelled."};
}

}  // namespace corvix

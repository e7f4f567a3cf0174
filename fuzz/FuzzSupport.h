#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace corvix::fuzz {

/// A property the code under test must keep; a broken one is a finding, reported like a crash.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

/// Reads small decisions off the front of the input, leaving the rest as the document.
class InputSplitter {
  public:
    InputSplitter(const std::uint8_t* data, std::size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {}

    /// The next byte, 0 once the input is used up.
    std::uint8_t byte() {
        if (bytes_.empty()) {
            return 0;
        }
        const auto b = static_cast<std::uint8_t>(bytes_.front());
        bytes_.remove_prefix(1);
        return b;
    }
    /// Everything up to the first `separator` (dropped), or all that is left.
    std::string_view until(char separator) {
        const auto at = bytes_.find(separator);
        const std::string_view part = bytes_.substr(0, at);
        bytes_.remove_prefix(at == std::string_view::npos ? bytes_.size() : at + 1);
        return part;
    }
    std::string_view rest() const { return bytes_; }

  private:
    std::string_view bytes_;
};

}  // namespace corvix::fuzz

#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace corvix {

/// The whole content of `file` when it is a regular file (also through a link) of at most
/// `maxBytes`; none otherwise. The file is opened without blocking and checked on the opened
/// descriptor, so a FIFO, a device or a folder never stalls the caller and a file swapped in
/// between cannot be read by mistake.
std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::size_t maxBytes);

}  // namespace corvix

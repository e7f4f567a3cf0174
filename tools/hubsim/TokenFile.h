#pragma once

#include <string>

namespace hubsim {

/// The default token file: ~/.orbelune/mac-control/token.
std::string defaultTokenFilePath();

/// A fresh random token (hex text).
std::string randomToken();

/// Reads the token from `path`, trimmed of white space. When the file is missing or holds only
/// white space, writes a random token there first (parent folders 0700, file 0600). Returns an
/// empty text and fills `error` when the file can neither be read nor written.
std::string loadOrCreateToken(const std::string& path, std::string& error);

}  // namespace hubsim

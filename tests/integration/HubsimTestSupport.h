#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Server.h"
#include "platform/Environment.h"

namespace corvix::testing {

/// Makes a folder for one test (token file and home), writes `token` to it and points
/// `environment` at `hub` as the program's environment would. The caller removes the folder.
inline std::filesystem::path pointAtHub(const hubsim::Server& hub, const std::string& token,
                                        const std::string& folderName,
                                        MapEnvironment& environment) {
    const auto dir =
        std::filesystem::temp_directory_path() / (folderName + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "token") << token << "\n";
    environment.set("ORBELUNE_MAC_CONTROL_BASE_URL", hub.baseUrl());
    environment.set("ORBELUNE_MAC_CONTROL_TOKEN_FILE", (dir / "token").string());
    environment.set("HOME", (dir / "home").string());
    return dir;
}

}  // namespace corvix::testing

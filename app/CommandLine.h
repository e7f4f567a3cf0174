#pragma once

#include <string>
#include <vector>

namespace corvix {

/// What the command line asks for. Configuration comes from the environment only, so the
/// command line offers nothing but help and the version.
struct CommandLineRequest {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    /// For `Fail`: what was wrong, one line.
    std::string error;
};

/// Reads the arguments after the program name.
CommandLineRequest parseCommandLine(const std::vector<std::string>& arguments);

/// The text `--help` prints, naming `program` in its usage line.
std::string commandLineHelp(const std::string& program);

/// The text `--version` prints.
std::string commandLineVersion();

}  // namespace corvix

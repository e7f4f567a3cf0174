#pragma once

#include <string>
#include <vector>

namespace corvix {

/// What the command line asks for. Configuration comes from the environment only, so the
/// command line offers nothing but help and the version; the toolkit's own options (a display,
/// a platform plugin, a style) go on to the toolkit, and anything else is ignored.
struct CommandLineRequest {
    enum class Action { Run, ShowHelp, ShowVersion };
    Action action = Action::Run;
    /// The toolkit's options with their values, in their order, for the toolkit to read.
    std::vector<std::string> toolkitArguments;
    /// Arguments that mean nothing here, in their order.
    std::vector<std::string> ignored;
};

/// Reads the arguments after the program name.
CommandLineRequest parseCommandLine(const std::vector<std::string>& arguments);

/// The one line that tells the user which arguments were ignored (no line break), or empty.
std::string ignoredArgumentsNotice(const std::string& program, const CommandLineRequest& request);

/// The text `--help` prints, naming `program` in its usage line.
std::string commandLineHelp(const std::string& program);

/// The text `--version` prints.
std::string commandLineVersion();

}  // namespace corvix

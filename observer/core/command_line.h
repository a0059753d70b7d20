// quorvel's command line: no arguments runs the observer; --help and --version are
// answered at once; --diagnose (with --all-titles) runs the diagnosis instead; anything
// else is a usage error.
#pragma once

#include <optional>

namespace observer {

struct CommandLine {
    // Set when quorvel has answered and ends with this status: 0 for --help (usage on
    // standard output) and --version, 2 for a usage error (a message and the usage on
    // standard error).
    std::optional<int> exitStatus;
    bool diagnose = false;
    bool allTitles = false;
};

CommandLine readCommandLine(int argc, const char* const* argv);

}  // namespace observer

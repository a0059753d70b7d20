// quorvel's command line: no arguments runs the observer; --help and --version are
// answered at once; anything else is a usage error.
#pragma once

#include <optional>

namespace observer {

// Empty when quorvel should run; otherwise the exit status after the answer has been
// written: 0 for --help (usage on standard output) and --version, 2 for any other
// argument (a message and the usage on standard error).
std::optional<int> answerCommandLine(int argc, const char* const* argv);

}  // namespace observer

// The options quorvel-replay shares with quorvel and sennick: --help and --version,
// each given alone. Everything else is left to the scenario command line.
#pragma once

#include <optional>

namespace replay {

// The exit status (0) after --help (usage on standard output) or --version has been
// answered; empty for any other command line.
std::optional<int> answerStandardOptions(int argc, const char* const* argv);

}  // namespace replay

// quorvel-replay's command line: --help and --version, each given alone, as quorvel and
// sennick answer them, and the scenario with the pace of its ticks or its diagnosis.
#pragma once

#include <optional>
#include <string_view>

namespace replay {

// The exit status (0) after --help (usage on standard output) or --version has been
// answered; empty for any other command line.
std::optional<int> answerStandardOptions(int argc, const char* const* argv);

enum class Pace {
    asFastAsPossible,  // on the scenario's clock, ending after the last tick
    realtime,          // --realtime: a tick a second on the real clock, on past the last tick
    stepped,           // --step: a tick per line of standard input, on the scenario's clock
};

struct Invocation {
    Pace pace = Pace::asFastAsPossible;
    const char* scenarioPath = nullptr;
    bool diagnose = false;   // --diagnose: the diagnosis of the first state instead of a run
    bool allTitles = false;  // --all-titles, after --diagnose
};

// The scenario and its pace; empty for a usage error.
std::optional<Invocation> parseCommandLine(int argc, const char* const* argv);

// The line that a usage error prints, without its line feed.
extern const std::string_view usageLine;

}  // namespace replay

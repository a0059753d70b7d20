// quorvel-replay's command line. The version comes from the build (QUORVEL_VERSION),
// which takes it from the project's one version number.
#include "replay/command_line.h"

#include <cstdio>

namespace replay {

const std::string_view usageLine =
    "usage: quorvel-replay [--realtime | --step | --diagnose [--all-titles]] SCENARIO.json";

namespace {

constexpr std::string_view usage =
    "usage: quorvel-replay [--realtime | --step | --diagnose [--all-titles]] SCENARIO.json\n"
    "       quorvel-replay --help | --version\n"
    "\n"
    "Runs quorvel's rules against the worlds that SCENARIO.json describes and writes what\n"
    "quorvel would write: events on standard output, the log on standard error.\n"
    "\n"
    "  --realtime  one tick a second on the real clock, on past the last tick until a\n"
    "              stop signal; without it the ticks run at once on the scenario's\n"
    "              clock and the program ends\n"
    "  --step      as --realtime, but one tick for each line read on standard input,\n"
    "              on the scenario's clock; the end of the input ends the program\n"
    "  --diagnose  print quorvel's diagnosis of the scenario's first state as one JSON\n"
    "              document, as quorvel --diagnose does, and exit; --all-titles gives\n"
    "              every window title\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n";

constexpr std::string_view version = "quorvel-replay " QUORVEL_VERSION "\n";

int answer(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace

std::optional<int> answerStandardOptions(int argc, const char* const* argv) {
    if (argc != 2) return std::nullopt;
    const std::string_view option = argv[1];
    if (option == "--help") return answer(usage);
    if (option == "--version") return answer(version);
    return std::nullopt;
}

std::optional<Invocation> parseCommandLine(int argc, const char* const* argv) {
    Invocation invocation;
    bool paced = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if ((argument == "--realtime" || argument == "--step") && !paced && !invocation.diagnose) {
            paced = true;
            invocation.pace = argument == "--step" ? Pace::stepped : Pace::realtime;
        } else if (argument == "--diagnose" && !paced && !invocation.diagnose) {
            invocation.diagnose = true;
        } else if (argument == "--all-titles" && invocation.diagnose && !invocation.allTitles) {
            invocation.allTitles = true;
        } else if (invocation.scenarioPath == nullptr && !argument.starts_with("-")) {
            invocation.scenarioPath = argv[index];
        } else {
            return std::nullopt;
        }
    }
    if (invocation.scenarioPath == nullptr) return std::nullopt;
    return invocation;
}

}  // namespace replay

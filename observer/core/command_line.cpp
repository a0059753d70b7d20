// quorvel's command line. The version comes from the build (QUORVEL_VERSION), which
// takes it from the project's one version number.
#include "observer/core/command_line.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace observer {
namespace {

constexpr int usageError = 2;

constexpr std::string_view usage =
    "usage: quorvel [--help | --version | --diagnose [--all-titles]]\n"
    "\n"
    "Watches, once a second, whether a meeting application captures the microphone and\n"
    "reports it to the host application that started it: one JSON event per line on\n"
    "standard output, a time-stamped log on standard error. Runs until SIGINT, SIGTERM\n"
    "or SIGHUP, or until its host ends, then exits with status 0.\n"
    "\n"
    "  --help        print this help and exit\n"
    "  --version     print the version and exit\n"
    "  --diagnose    print what quorvel sees and would decide now as one JSON document\n"
    "                for a bug report, and exit; window titles of applications that\n"
    "                are no meeting application are given as their length only\n"
    "  --all-titles  with --diagnose: give every window title\n";

// One call per answer, so that the whole text reaches the stream in one piece.
int answer(std::FILE* stream, const std::string& text, int status) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    return status;
}

}  // namespace

CommandLine readCommandLine(int argc, const char* const* argv) {
    CommandLine command;
    if (argc <= 1) return command;
    const std::string_view first = argv[1];
    if (argc == 2 && first == "--help") {
        command.exitStatus = answer(stdout, std::string(usage), 0);
        return command;
    }
    if (argc == 2 && first == "--version") {
        command.exitStatus = answer(stdout, "quorvel " QUORVEL_VERSION "\n", 0);
        return command;
    }
    if (first == "--diagnose" && (argc == 2 || (argc == 3 && std::string_view(argv[2]) == "--all-titles"))) {
        command.diagnose = true;
        command.allTitles = argc == 3;
        return command;
    }
    const bool firstKnown = first == "--help" || first == "--version" || first == "--diagnose";
    const std::string_view unexpected = firstKnown ? argv[2] : first;
    command.exitStatus = answer(
        stderr, "quorvel: unexpected argument '" + std::string(unexpected) + "'\n" + std::string(usage), usageError);
    return command;
}

}  // namespace observer

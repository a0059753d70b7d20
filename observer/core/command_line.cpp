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
    "usage: quorvel [--help | --version]\n"
    "\n"
    "Watches, once a second, whether a meeting application captures the microphone and\n"
    "reports it to the host application that started it: one JSON event per line on\n"
    "standard output, a time-stamped log on standard error. Runs until SIGINT, SIGTERM\n"
    "or SIGHUP, or until its host ends, then exits with status 0.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

// One call per answer, so that the whole text reaches the stream in one piece.
int answer(std::FILE* stream, const std::string& text, int status) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    return status;
}

}  // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv) {
    if (argc <= 1) return std::nullopt;
    const std::string_view first = argv[1];
    if (argc == 2 && first == "--help") return answer(stdout, std::string(usage), 0);
    if (argc == 2 && first == "--version") return answer(stdout, "quorvel " QUORVEL_VERSION "\n", 0);
    const bool firstKnown = first == "--help" || first == "--version";
    const std::string_view unexpected = firstKnown ? argv[2] : first;
    return answer(stderr, "quorvel: unexpected argument '" + std::string(unexpected) + "'\n" + std::string(usage),
                  usageError);
}

}  // namespace observer

// sennick's command line. The version comes from the build (SENNICK_VERSION), which
// takes it from the project's one version number.
#include "command_line.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace sennick {
namespace {

constexpr int usageError = 2;

constexpr std::string_view usage =
    "usage: sennick [--help | --version]\n"
    "\n"
    "Asks the system's privacy-consent service whether audio capture is permitted and\n"
    "prints authorized, denied or unknown on standard output, with exit status 0, 1 or 2.\n"
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
    if (argc == 2 && first == "--version") return answer(stdout, "sennick " SENNICK_VERSION "\n", 0);
    const bool firstKnown = first == "--help" || first == "--version";
    const std::string_view unexpected = firstKnown ? argv[2] : first;
    return answer(stderr, "sennick: unexpected argument '" + std::string(unexpected) + "'\n" + std::string(usage),
                  usageError);
}

}  // namespace sennick

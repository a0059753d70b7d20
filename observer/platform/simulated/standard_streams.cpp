// Standard streams captured in memory, or passed through to the real ones for replay.
#include "observer/platform/standard_streams.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {
namespace {

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

void writeEventLine(std::string_view text) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        std::string line(text);
        line.push_back('\n');
        writeAll(STDOUT_FILENO, line);
        return;
    }
    s.standardOutput.append(text);
    s.standardOutput.push_back('\n');
}

void writeDiagnosticLine(std::string_view line) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        writeAll(STDERR_FILENO, line);
        return;
    }
    s.standardError.append(line);
}

}  // namespace observer::platform

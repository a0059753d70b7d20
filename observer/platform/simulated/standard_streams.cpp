// Standard streams captured in memory, or passed through to the real ones for replay.
#include "observer/platform/standard_streams.h"

#include <unistd.h>

#include <string>

#include "observer/platform/posix/system_calls.h"
#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

void writeEventLine(std::string_view text) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        std::string line(text);
        line.push_back('\n');
        posix::writeAll(STDOUT_FILENO, line);
        return;
    }
    s.standardOutput.append(text);
    s.standardOutput.push_back('\n');
}

void writeDiagnosticLine(std::string_view line) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        posix::writeAll(STDERR_FILENO, line);
        return;
    }
    s.standardError.append(line);
}

}  // namespace observer::platform

// Standard streams captured in memory, or passed through to the real ones for replay. A
// replay that runs as fast as it can writes with ordinary blocking writes, so that every
// byte reaches a reader however slow; a realtime replay, a stand-in for quorvel, writes
// as quorvel does, never waiting for its reader.
#include "observer/platform/standard_streams.h"

#include <unistd.h>

#include <string>

#include "observer/platform/helpers/posix/standard_channels.h"
#include "observer/platform/helpers/posix/system_calls.h"
#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

bool writeEventLine(std::string_view text) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        std::string line(text);
        line.push_back('\n');
        if (s.realtime) return posix::standardOutputChannel().write(line);
        posix::writeAll(STDOUT_FILENO, line);
        return true;
    }
    if (s.eventLinesToRefuse > 0) {
        --s.eventLinesToRefuse;
        return false;
    }
    s.standardOutput.append(text);
    s.standardOutput.push_back('\n');
    return true;
}

void waitForEventRoom(std::chrono::milliseconds timeout) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        posix::standardOutputChannel().waitAndFlush(static_cast<int>(timeout.count()));
    } else {
        ++s.eventRoomWaits;
    }
}

void writeDiagnosticLine(std::string_view line) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        if (s.realtime) {
            posix::standardErrorChannel().write(line);
        } else {
            posix::writeAll(STDERR_FILENO, line);
        }
        return;
    }
    s.standardError.append(line);
}

void useLogFrame(LogFrame frame) {
    posix::setLogFrame(frame);
}

void writeDiagnosticMessage(std::string_view message) {
    const std::string line = posix::framedMessage(message);
    if (!line.empty()) writeDiagnosticLine(line);
}

void writeDocument(std::string_view text) {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) {
        posix::writeAll(STDOUT_FILENO, text);
    } else {
        s.standardOutput.append(text);
    }
}

}  // namespace observer::platform

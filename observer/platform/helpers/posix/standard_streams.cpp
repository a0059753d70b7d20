// Standard streams through the channels that never wait for a reader: an event line and
// its "\n" go out together, and a diagnostic line is one write.
#include "observer/platform/standard_streams.h"

#include <unistd.h>

#include <string>

#include "observer/platform/helpers/posix/standard_channels.h"
#include "observer/platform/helpers/posix/system_calls.h"

namespace observer::platform {

bool writeEventLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text);
    line.push_back('\n');
    return posix::standardOutputChannel().write(line);
}

void waitForEventRoom(std::chrono::milliseconds timeout) {
    posix::standardOutputChannel().waitAndFlush(static_cast<int>(timeout.count()));
}

void writeDiagnosticLine(std::string_view line) {
    posix::standardErrorChannel().write(line);
}

void useLogFrame(LogFrame frame) {
    posix::setLogFrame(frame);
}

void writeDiagnosticMessage(std::string_view message) {
    const std::string line = posix::framedMessage(message);
    if (!line.empty()) writeDiagnosticLine(line);
}

void writeDocument(std::string_view text) {
    posix::writeAll(STDOUT_FILENO, text);
}

}  // namespace observer::platform

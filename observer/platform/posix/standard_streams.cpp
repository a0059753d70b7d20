// Standard streams over write(2): an event line and its "\n" go out in one write, so
// nothing waits in a buffer, and a diagnostic line is one write as well.
#include "observer/platform/standard_streams.h"

#include <unistd.h>

#include <string>

#include "observer/platform/posix/system_calls.h"

namespace observer::platform {

void writeEventLine(std::string_view text) {
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text);
    line.push_back('\n');
    posix::writeAll(STDOUT_FILENO, line);
}

void writeDiagnosticLine(std::string_view line) {
    posix::writeAll(STDERR_FILENO, line);
}

}  // namespace observer::platform

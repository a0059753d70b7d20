// Standard streams over write(2): an event line and its "\n" go out in one write, so
// nothing waits in a buffer, and a diagnostic line is one write as well.
#include "observer/platform/standard_streams.h"

#include <unistd.h>

#include <cerrno>
#include <string>

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
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text);
    line.push_back('\n');
    writeAll(STDOUT_FILENO, line);
}

void writeDiagnosticLine(std::string_view line) {
    writeAll(STDERR_FILENO, line);
}

}  // namespace observer::platform

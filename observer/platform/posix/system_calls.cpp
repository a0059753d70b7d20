#include "observer/platform/posix/system_calls.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace observer::platform::posix {
namespace {

// Only async-signal-safe calls here: _exit flushes nothing, which is fine because every
// event line has already been written out when its writer returned.
extern "C" void exitWithSuccess(int) {
    _exit(0);
}

}  // namespace

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

void exitOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = exitWithSuccess;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace observer::platform::posix

// The observer's own pids and its SIGINT handler.
#include "observer/platform/process_control.h"

#include <signal.h>
#include <unistd.h>

namespace observer::platform {
namespace {

// Only async-signal-safe calls here: _exit flushes nothing, which is fine because every
// event line has already been written out when its writer returned.
extern "C" void exitOnInterrupt(int) {
    _exit(0);
}

}  // namespace

std::int32_t currentProcessId() {
    return static_cast<std::int32_t>(::getpid());
}

std::int32_t parentProcessId() {
    return static_cast<std::int32_t>(::getppid());
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = exitOnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace observer::platform

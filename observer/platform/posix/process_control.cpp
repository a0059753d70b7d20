// The observer's own pids and its SIGINT handler.
#include "observer/platform/process_control.h"

#include <unistd.h>

#include "observer/platform/posix/system_calls.h"

namespace observer::platform {

std::int32_t currentProcessId() {
    return static_cast<std::int32_t>(::getpid());
}

std::int32_t parentProcessId() {
    return static_cast<std::int32_t>(::getppid());
}

void installInterruptHandler() {
    posix::exitOnInterrupt();
}

}  // namespace observer::platform

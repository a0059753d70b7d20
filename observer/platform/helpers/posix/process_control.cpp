// The observer's own pids, its stop signals and its end.
#include "observer/platform/process_control.h"

#include <unistd.h>

#include "observer/platform/helpers/posix/system_calls.h"

namespace observer::platform {

void prepareProcess() {
    posix::openClosedStandardDescriptors();
    posix::ignoreBrokenPipes();
    posix::exitOnStopSignals();
}

std::int32_t currentProcessId() {
    return static_cast<std::int32_t>(::getpid());
}

std::int32_t parentProcessId() {
    return static_cast<std::int32_t>(::getppid());
}

void installInterruptHandler() {
    posix::exitOnStopSignals();
}

void endProcess() {
    ::_exit(0);
}

}  // namespace observer::platform

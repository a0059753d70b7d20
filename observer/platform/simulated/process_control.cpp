// The observer's pids come from the simulated world; SIGINT ends the process with
// status 0 as on a real system, so a realtime replay behaves like quorvel.
#include "observer/platform/process_control.h"

#include "observer/platform/posix/system_calls.h"
#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

std::int32_t currentProcessId() {
    return simulated::simulation().observerPid;
}

std::int32_t parentProcessId() {
    return simulated::simulation().observerParentPid;
}

void installInterruptHandler() {
    posix::exitOnInterrupt();
    simulated::simulation().interruptHandlerInstalled = true;
}

}  // namespace observer::platform

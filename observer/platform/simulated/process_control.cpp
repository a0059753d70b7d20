// The observer's pids come from the simulated world; SIGINT ends the process with
// status 0 as on a real system, so a realtime replay behaves like quorvel.
#include "observer/platform/process_control.h"

#include <signal.h>
#include <unistd.h>

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {
namespace {

extern "C" void exitOnInterrupt(int) {
    _exit(0);
}

}  // namespace

std::int32_t currentProcessId() {
    return simulated::simulation().observerPid;
}

std::int32_t parentProcessId() {
    return simulated::simulation().observerParentPid;
}

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = exitOnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    simulated::simulation().interruptHandlerInstalled = true;
}

}  // namespace observer::platform

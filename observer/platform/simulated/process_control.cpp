// The observer's pids come from the simulated world. The stop signals end the process
// with status 0 as on a real system, so that quorvel-replay behaves like quorvel; and
// when a realtime replay's real parent is gone, the simulated parent is gone too, so that
// a stand-in never outlives its host either.
#include "observer/platform/process_control.h"

#include <unistd.h>

#include "observer/platform/helpers/posix/system_calls.h"
#include "observer/platform/simulated/simulation.h"

namespace observer::platform {
namespace {

// Kept outside the simulation, which a replay resets after preparing the process.
pid_t realStartupParent = 0;

}  // namespace

void prepareProcess() {
    realStartupParent = ::getppid();
    posix::openClosedStandardDescriptors();
    posix::ignoreBrokenPipes();
    posix::exitOnStopSignals();
}

std::int32_t currentProcessId() {
    return simulated::simulation().observerPid;
}

std::int32_t parentProcessId() {
    const simulated::Simulation& s = simulated::simulation();
    // Adopted, as a real orphan is, by pid 1.
    if (s.realtime && realStartupParent != 0 && ::getppid() != realStartupParent) return 1;
    return s.observerParentPid;
}

void installInterruptHandler() {
    posix::exitOnStopSignals();
    simulated::simulation().interruptHandlerInstalled = true;
}

void endProcess() {
    simulated::Simulation& s = simulated::simulation();
    if (s.streamsPassThrough) ::_exit(0);
    s.ended = true;
}

}  // namespace observer::platform

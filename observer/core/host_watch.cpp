// Nobody is left to read the events once the host is gone, and the host's pid may soon
// belong to another process, which the observer would ignore: so the observer ends.
#include "observer/core/host_watch.h"

#include <string>

#include "observer/core/event_stream.h"
#include "observer/core/state.h"
#include "observer/platform/process_control.h"

namespace observer {

bool endIfHostIsGone() {
    if (platform::parentProcessId() == ownAppPID) return false;
    logLine("host application (pid " + std::to_string(ownAppPID) + ") is gone \u2014 exiting");
    platform::endProcess();
    return true;
}

}  // namespace observer

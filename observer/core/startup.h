// The observer's startup: everything before the run loop takes the main thread.
#pragma once

#include <string>

namespace observer {

// Hands the log frame to the platform, records the host's pid, fills the catalogue,
// chooses the detection mode, writes the mode line, the heartbeat and the "mic-mode"
// event, resets the session, schedules the poll tick every second and installs the
// handlers of the stop signals (SIGINT, SIGTERM, SIGHUP).
void startObserver();

// The state every run starts from, without a word written: the host's pid, the
// catalogue, the detection mode (asking the system once), no session.
void prepareObserverState();
// The log's line about the mode that `prepareObserverState` chose.
std::string detectionModeLine();

}  // namespace observer

// The observer's startup: everything before the run loop takes the main thread.
#pragma once

namespace observer {

// Hands the log frame to the platform, records the host's pid, fills the catalogue,
// chooses the detection mode, writes the mode line, the heartbeat and the "mic-mode"
// event, resets the session, schedules the poll tick every second and installs the
// handlers of the stop signals (SIGINT, SIGTERM, SIGHUP).
void startObserver();

}  // namespace observer

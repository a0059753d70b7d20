// How a run loop writes out what waits on the standard streams for a slow reader.
//
// A run loop that polls (Linux, simulated) waits through `pollWithOutput`, which watches
// the streams with output waiting beside its own descriptors. One that does not (macOS)
// asks `waitingOutput` before it sleeps, watches those streams itself and calls
// `flushWaitingOutput` once they are writable.
#pragma once

#include <poll.h>

namespace observer::platform::posix {

struct WaitingOutput {
    bool events = false;
    bool log = false;
};

// Which of the standard streams have output waiting.
WaitingOutput waitingOutput();

// Writes what waits on both standard streams, as far as they take it now.
void flushWaitingOutput();

// Polls the extra descriptors together with the standard streams that have output
// waiting (and standard output for being closed), up to `timeoutMilliseconds` (-1: no
// limit), and flushes whichever stream became writable. Answers poll's result.
int pollWithOutput(pollfd* extra, int extraCount, int timeoutMilliseconds);

}  // namespace observer::platform::posix

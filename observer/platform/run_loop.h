// The repeating timer and the main thread's run loop.
//
// Contract: `scheduleRepeatingTimer` arranges for `action` to run on the main thread
// every `interval`, the first time one interval after the call. A firing always runs
// to completion before the next; a late firing is not made up: the timer fires once
// and keeps its schedule counted from its first firing, so late ticks never come in
// bursts. The timer is never cancelled. `runMainRunLoop` hands the main thread to the
// run loop, which delivers the firings and, between them, writes out the output that
// waits for a slow reader (standard_streams.h): whenever it is about to wait, it watches
// the standard streams that have output waiting, and writes to each as soon as it can
// take bytes. It returns only when the backend has nothing more to run.
#pragma once

#include <chrono>
#include <functional>

namespace observer::platform {

void scheduleRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> action);
void runMainRunLoop();

}  // namespace observer::platform

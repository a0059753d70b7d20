// The simulated run loop fires the timer as many times as planned, on simulated time,
// or paced by the real clock for a realtime replay, which then goes on firing in the last
// planned world until the process is ended, as quorvel's run loop never returns, and
// meanwhile flushes whatever output waits for a slow reader, as quorvel's run loop does.
#include "observer/platform/run_loop.h"

#include <poll.h>

#include <algorithm>
#include <thread>

#include "observer/platform/helpers/posix/output_polling.h"
#include "observer/platform/helpers/posix/standard_channels.h"
#include "observer/platform/process_control.h"
#include "observer/platform/simulated/simulation.h"

namespace observer::platform {
namespace {

void serviceOutputUntil(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        posix::pollWithOutput(nullptr, 0, static_cast<int>(left.count()));
    }
}

// Events still queued for a slow reader are delivered before the replay ends, unless the
// host that would read them is gone.
void deliverQueuedEvents(std::int32_t host) {
    posix::EventChannel& events = posix::standardOutputChannel();
    while (events.hasPending() && parentProcessId() == host) events.waitAndFlush(1000);
}

}  // namespace

void scheduleRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> action) {
    simulated::Simulation& s = simulated::simulation();
    s.timerInterval = interval;
    s.timerAction = std::move(action);
}

void runMainRunLoop() {
    simulated::Simulation& s = simulated::simulation();
    if (!s.timerAction) return;
    const auto start = std::chrono::steady_clock::now();
    long long firing = 0;  // firings counted on the real clock's grid
    for (long long tick = 1; (tick <= s.plannedTicks || s.realtime) && !s.ended; ++tick) {
        if (s.realtime) {
            // A late tick is not made up: wait for the next grid point still ahead.
            const auto elapsed = std::chrono::steady_clock::now() - start;
            firing = std::max(firing + 1, static_cast<long long>(elapsed / s.timerInterval) + 1);
            const auto due = start + firing * s.timerInterval;
            if (s.streamsPassThrough) {
                serviceOutputUntil(due);
            } else {
                std::this_thread::sleep_until(due);
            }
        }
        if (s.beforeTick && tick <= s.plannedTicks) s.beforeTick(tick);
        simulated::fireTimer();
    }
    if (s.realtime && s.streamsPassThrough) deliverQueuedEvents(s.observerParentPid);
}

}  // namespace observer::platform

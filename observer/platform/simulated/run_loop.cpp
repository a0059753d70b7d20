// The simulated run loop fires the timer as many times as planned, on simulated time,
// or paced by the real clock for a realtime replay, which then goes on firing in the last
// planned world until the process is ended, as quorvel's run loop never returns, and
// meanwhile flushes whatever output waits for a slow reader, as quorvel's run loop does.
// A stepped replay takes a tick for each line of its input instead, so that a host's test
// runs a long meeting in moments.
#include "observer/platform/run_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// The lines of the step input read so far and not yet run as ticks.
struct StepLines {
    long long whole = 0;
    bool partial = false;  // bytes after the last line feed read
    bool ended = false;
};

// Waits, flushing output meanwhile, until the step input holds another line, which it
// takes; false once the input has ended with no line left. A last line without a line
// feed is a line too.
bool takeStep(int fd, StepLines& lines) {
    while (lines.whole == 0 && !lines.ended) {
        pollfd input{fd, POLLIN, 0};
        const int ready = posix::pollWithOutput(&input, 1, -1);
        if (ready < 0 && errno != EINTR) lines.ended = true;
        if (ready <= 0 || input.revents == 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            lines.ended = true;
            continue;
        }
        lines.whole += std::count(buffer, buffer + got, '\n');
        lines.partial = buffer[got - 1] != '\n';
    }
    if (lines.whole == 0 && lines.partial) {
        lines.partial = false;
        return true;
    }
    if (lines.whole == 0) return false;
    --lines.whole;
    return true;
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
    StepLines steps;
    for (long long tick = 1; (tick <= s.plannedTicks || s.realtime) && !s.ended; ++tick) {
        if (s.realtime && s.stepInput >= 0) {
            if (!takeStep(s.stepInput, steps)) break;
        } else if (s.realtime) {
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
    if (s.realtime && s.streamsPassThrough) {
        deliverQueuedEvents(s.observerParentPid);
        posix::flushWaitingOutput();
    }
}

}  // namespace observer::platform

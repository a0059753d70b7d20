// The simulated run loop fires the timer as many times as planned, on simulated time,
// or paced by the real clock for a realtime replay, which then goes on firing in the last
// planned world until the process is ended, as quorvel's run loop never returns.
#include "observer/platform/run_loop.h"

#include <thread>

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

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
    for (long long tick = 1; tick <= s.plannedTicks || s.realtime; ++tick) {
        if (s.realtime) {
            // A late tick is not made up: wait for the next grid point still ahead.
            const auto elapsed = std::chrono::steady_clock::now() - start;
            firing = std::max(firing + 1, static_cast<long long>(elapsed / s.timerInterval) + 1);
            std::this_thread::sleep_until(start + firing * s.timerInterval);
        }
        if (s.beforeTick && tick <= s.plannedTicks) s.beforeTick(tick);
        simulated::fireTimer();
    }
}

}  // namespace observer::platform

// A single-threaded run loop around one timerfd. A read of the timerfd answers how many
// intervals have passed; whatever that count, the loop runs the action once, so a late
// tick is not made up, and the timerfd keeps its grid from the first expiry. The same poll
// waits for the standard streams to become writable when output is waiting for a slow
// reader, and for standard output to be closed. After each tick the servers' mirrors take
// in what has arrived, whether or not the tick asked about them.
#include "observer/platform/run_loop.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "observer/platform/linux/compositor_windows.h"
#include "observer/platform/linux/pulse_connection.h"
#include "observer/platform/linux/x11_mirror.h"
#include "observer/platform/helpers/posix/output_polling.h"

namespace observer::platform {
namespace {

int timerDescriptor = -1;
std::function<void()> timerAction;

}  // namespace

void scheduleRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> action) {
    timerDescriptor = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (timerDescriptor < 0) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(interval - seconds);
    itimerspec schedule{};
    schedule.it_interval.tv_sec = static_cast<time_t>(seconds.count());
    schedule.it_interval.tv_nsec = static_cast<long>(nanoseconds.count());
    schedule.it_value = schedule.it_interval;
    ::timerfd_settime(timerDescriptor, 0, &schedule, nullptr);
    timerAction = std::move(action);
}

void runMainRunLoop() {
    if (timerDescriptor < 0) return;
    pollfd watched{timerDescriptor, POLLIN, 0};
    for (;;) {
        if (posix::pollWithOutput(&watched, 1, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if ((watched.revents & POLLIN) == 0) continue;
        std::uint64_t expirations = 0;
        if (::read(timerDescriptor, &expirations, sizeof expirations) != sizeof expirations) continue;
        timerAction();
        pulse::takeInArrived();
        x11::takeInArrived();
        compositor::takeInArrived();
    }
}

}  // namespace observer::platform

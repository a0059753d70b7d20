// The run loop never returns while its timer runs, so each test runs it in a child
// process that the timer action ends.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "observer/platform/local_time.h"
#include "observer/platform/run_loop.h"

namespace observer::platform {
namespace {

double now() {
    timespec at{};
    clock_gettime(CLOCK_MONOTONIC, &at);
    return static_cast<double>(at.tv_sec) + static_cast<double>(at.tv_nsec) / 1e9;
}

// Runs the loop in a child whose action records firing times into a pipe and sleeps
// for `stall` on the firing numbered `slowFiring`; returns the recorded times.
std::vector<double> firings(int count, int slowFiring, std::chrono::milliseconds stall) {
    int times[2];
    EXPECT_EQ(::pipe(times), 0);
    const double start = now();
    const pid_t child = ::fork();
    if (child == 0) {
        int fired = 0;
        scheduleRepeatingTimer(std::chrono::milliseconds(100), [&] {
            const double at = now();
            [[maybe_unused]] auto written = ::write(times[1], &at, sizeof at);
            if (++fired == slowFiring) std::this_thread::sleep_for(stall);
            if (fired == count) ::_exit(0);
        });
        runMainRunLoop();
        ::_exit(1);
    }
    ::close(times[1]);
    std::vector<double> result;
    double at = 0;
    while (::read(times[0], &at, sizeof at) == sizeof at) result.push_back(at - start);
    ::close(times[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return result;
}

TEST(LinuxRunLoopTest, FirstFiringComesOneIntervalAfterScheduling) {
    const auto times = firings(3, 0, {});
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[0], 0.1);
    EXPECT_GE(times[2], 0.3) << "no firing comes early";
}

TEST(LinuxRunLoopTest, LateFiringIsNotMadeUp) {
    // The second firing (at 0.2 s) stalls until 0.52 s: the late firing runs once when the
    // stall ends, and the next keeps to the grid (0.6 s) instead of following at once.
    const auto times = firings(4, 2, std::chrono::milliseconds(320));
    ASSERT_EQ(times.size(), 4u);
    EXPECT_GE(times[2] - times[1], 0.32);
    EXPECT_GE(times[3] - times[2], 0.04) << "no burst of made-up firings";
}

// The time of day is the C library's local time, in range, read afresh at each call.
TEST(LinuxLocalTimeTest, TimeOfDayIsTheLocalTimeNow) {
    const std::time_t before = std::time(nullptr);
    const TimeOfDay time = localTimeOfDay();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(time.hours >= 0 && time.hours <= 23 && time.minutes >= 0 && time.minutes <= 59 && time.seconds >= 0 &&
                time.seconds <= 59 && time.milliseconds >= 0 && time.milliseconds <= 999);
    bool matches = false;
    for (std::time_t second = before; second <= after; ++second) {
        tm local{};
        localtime_r(&second, &local);
        matches = matches || (local.tm_hour == time.hours && local.tm_min == time.minutes && local.tm_sec == time.seconds);
    }
    EXPECT_TRUE(matches) << time.hours << ":" << time.minutes << ":" << time.seconds;
}

}  // namespace
}  // namespace observer::platform

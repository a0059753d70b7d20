// Time of day from the simulated clock, or the real local time when asked for.
#include "observer/platform/local_time.h"

#include <time.h>

#include <cstdio>

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {
namespace {

std::string format(int hours, int minutes, int seconds, int milliseconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hours, minutes, seconds, milliseconds);
    return text;
}

}  // namespace

std::string localTimeOfDay() {
    if (simulated::simulation().realClock) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tm local{};
        localtime_r(&now.tv_sec, &local);
        return format(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000));
    }
    const auto ms = static_cast<int>(simulated::simulation().clock.count());
    return format(ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000);
}

}  // namespace observer::platform

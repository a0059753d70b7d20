// Local time of day from the real-time clock and the system's time zone.
#include "observer/platform/local_time.h"

#include <time.h>

#include <cstdio>

namespace observer::platform {

std::string localTimeOfDay() {
    // glibc reads the zone once; tzset makes sure it has been read before localtime_r.
    static const bool zoneRead = (tzset(), true);
    (void)zoneRead;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_nsec / 1'000'000));
    return text;
}

}  // namespace observer::platform

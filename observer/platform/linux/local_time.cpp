// Local time of day from the real-time clock and the system's time zone.
#include "observer/platform/local_time.h"

#include "observer/platform/helpers/posix/system_calls.h"

namespace observer::platform {

TimeOfDay localTimeOfDay() {
    return posix::localTimeFromSystemClock();
}

}  // namespace observer::platform

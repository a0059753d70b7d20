// Time of day from the simulated clock, or the real local time when asked for.
#include "observer/platform/local_time.h"

#include "observer/platform/helpers/posix/system_calls.h"
#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

TimeOfDay localTimeOfDay() {
    if (simulated::simulation().realClock) return posix::localTimeFromSystemClock();
    const auto ms = static_cast<int>(simulated::simulation().clock.count());
    return {ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000};
}

}  // namespace observer::platform

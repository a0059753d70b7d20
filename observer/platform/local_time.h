// The local wall-clock time of day.
//
// Contract: `localTimeOfDay` answers the current local time: hours 0 to 23, minutes and
// seconds 0 to 59, milliseconds 0 to 999, in the system's time zone as it is now (a change
// of zone shows from the next call on). It cannot fail. Each call reads the clock afresh.
// The observer formats it; the backends only read the clock.
#pragma once

namespace observer::platform {

struct TimeOfDay {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int milliseconds = 0;
};

TimeOfDay localTimeOfDay();

}  // namespace observer::platform

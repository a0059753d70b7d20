// The local wall-clock time of day.
//
// Contract: `localTimeOfDay` answers the current local time as "HH:mm:ss.SSS": hours 00
// to 23, two-digit minutes and seconds, three-digit milliseconds, Latin digits, no date
// and no zone. It cannot fail. Each call reads the clock afresh.
#pragma once

#include <string>

namespace observer::platform {

std::string localTimeOfDay();

}  // namespace observer::platform

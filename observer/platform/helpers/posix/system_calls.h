// POSIX calls that more than one backend makes in the same way.
#pragma once

#include <string>
#include <string_view>

#include "observer/platform/local_time.h"

namespace observer::platform::posix {

// Writes all of `bytes` to `fd`, resuming after interruptions and partial writes; gives up
// silently on an error.
void writeAll(int fd, std::string_view bytes);

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no descriptor a
// library opens later can become a standard stream.
void openClosedStandardDescriptors();

// Makes SIGINT, SIGTERM and SIGHUP end the process at once with status 0, writing nothing,
// whatever disposition was inherited, and unblocks them. SIGQUIT is left as inherited.
void exitOnStopSignals();

// A write to a closed pipe or socket then fails with EPIPE instead of killing the process.
void ignoreBrokenPipes();

// The kernel's name, release and machine as uname(2) tells them: "Linux 6.1.0-18-amd64
// x86_64", "Darwin 23.2.0 arm64"; empty when it cannot tell.
std::string kernelDescription();

// The local time of day from the C library: the real-time clock in the zone that TZ or
// /etc/localtime gives.
TimeOfDay localTimeFromSystemClock();

}  // namespace observer::platform::posix

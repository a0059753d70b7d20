// POSIX calls that more than one backend makes in the same way.
#pragma once

#include <string_view>

namespace observer::platform::posix {

// Writes all of `bytes` to `fd`, resuming after interruptions and partial writes; gives up
// silently on an error.
void writeAll(int fd, std::string_view bytes);

// Makes SIGINT end the process at once with status 0, writing nothing.
void exitOnInterrupt();

}  // namespace observer::platform::posix

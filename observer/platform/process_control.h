// The observer's own process: its pid, its parent's pid, and how it ends.
//
// Contract: `currentProcessId` and `parentProcessId` cannot fail.
// `installInterruptHandler` makes SIGINT end the process at once with status 0,
// writing nothing, from whatever the main thread is doing; no other signal's
// disposition changes.
#pragma once

#include <cstdint>

namespace observer::platform {

std::int32_t currentProcessId();
std::int32_t parentProcessId();
void installInterruptHandler();

}  // namespace observer::platform

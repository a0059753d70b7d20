// Who is capturing the microphone: a foreign process, a given application, or at
// least some input device. In device-level mode, or while the process-object list
// cannot be read, per-process answers are absent and each caller falls back.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "observer/core/state.h"

namespace observer {

// One entry per process object running input, in the HAL's order; an entry is absent
// when that object's pid cannot be read. Absent as a whole when the list cannot be read.
// Between `shareMicInputWithinTick` and `forgetMicInput` the HAL is read by the first
// call only and every later call answers the same; outside that span each call reads.
std::optional<std::vector<std::optional<Pid>>> micInputPIDs();
void shareMicInputWithinTick();
void forgetMicInput();
std::optional<bool> isForeignProcessUsingMic();
bool isAnyMicActive();
bool isMeetingMicActive();
std::optional<bool> isAppUsingMic(Pid appPID, std::string_view label);
// False only when the application demonstrably does not capture; then says so in the log.
bool isMicAttributable(Pid to, std::string_view label);

}  // namespace observer

// One process's record from the kernel's process table: parent pid and command name.
#pragma once

#include <optional>
#include <string>

#include "observer/core/state.h"
#include "observer/platform/process_table.h"

namespace observer {

// Nothing when the pid has no process or the kernel returned no bytes.
std::optional<platform::ProcessRecord> processInfo(Pid pid);
std::optional<Pid> parentPID(Pid pid);
// At most the kernel's 16 bytes, decoded as UTF-8 with U+FFFD for ill-formed bytes.
std::optional<std::string> processName(Pid pid);

}  // namespace observer

// One process's record from the kernel's process table: parent pid and command name.
#pragma once

#include <optional>
#include <string>

#include "observer/core/state.h"
#include "observer/platform/process_table.h"

namespace observer {

// Nothing when the pid has no process or the kernel returned no bytes. Between
// `shareProcessRecordsWithinTick` and `forgetProcessRecords` each pid's record is asked
// for once and every later question about it is answered from that answer; outside
// that span every call asks the kernel afresh.
std::optional<platform::ProcessRecord> processInfo(Pid pid);
std::optional<Pid> parentPID(Pid pid);
// At most the kernel's 16 bytes, decoded as UTF-8 with U+FFFD for ill-formed bytes.
std::optional<std::string> processName(Pid pid);

void shareProcessRecordsWithinTick();
void forgetProcessRecords();

}  // namespace observer

// What /proc tells about the processes of a measured desktop: CPU time, memory, and who
// is whose child.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace bench::world {

// CPU time of all the process's threads, from /proc/PID/task/*/schedstat (nanoseconds,
// so that short phases are measured to the tick); 0 once the process is gone.
double cpuSeconds(pid_t pid);

// A line of /proc/PID/status counted in kB (VmRSS, RssAnon, VmData...); 0 when absent.
long statusKilobytes(pid_t pid, std::string_view field);

struct ProcessEntry {
    pid_t pid = -1;
    pid_t parent = -1;
    std::string command;  // as the kernel keeps it, at most 15 bytes
    char state = '?';     // 'Z' for a process that ended and was not reaped yet
};
std::vector<ProcessEntry> listProcesses();

// The child of `parent` running `command`, once it exists; -1 when none appears within
// a few seconds.
pid_t childNamed(pid_t parent, const std::string& command);

}  // namespace bench::world

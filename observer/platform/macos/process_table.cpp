// The kernel's process table through sysctl(KERN_PROC_PID): one kinfo_proc per pid.
#include "observer/platform/process_table.h"

#include <sys/sysctl.h>
#include <sys/types.h>

#include <cstring>

namespace observer::platform {

int queryProcessRecord(std::int32_t pid, ProcessRecord& record, std::int64_t& length) {
    // Zero-filled so that a short answer leaves the unwritten fields zero, not garbage.
    kinfo_proc info{};
    int name[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    std::size_t size = sizeof info;
    const int status = ::sysctl(name, 4, &info, &size, nullptr, 0);
    // A pid without a process is not an error to the kernel: status 0, nothing copied.
    length = static_cast<std::int64_t>(size);
    if (status != 0) return status;

    record.parentPid = info.kp_eproc.e_ppid;
    static_assert(sizeof info.kp_proc.p_comm == sizeof record.command, "the kernel's name field is copied whole");
    std::memcpy(record.command.data(), info.kp_proc.p_comm, sizeof record.command);
    return status;
}

}  // namespace observer::platform

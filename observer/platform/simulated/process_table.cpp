// The process table over the simulated world, as the kernel answers it: a pid without a
// process is a failed query, and the command name keeps its first 16 bytes.
#include "observer/platform/process_table.h"

#include <cstring>

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

int queryProcessRecord(std::int32_t pid, ProcessRecord& record, std::int64_t& length) {
    simulated::Simulation& s = simulated::simulation();
    ++s.processQueries;
    if (s.processQueryOverride) {
        if (const auto status = s.processQueryOverride(pid, record, length)) return *status;
    }
    const auto found = s.processByPid.find(pid);
    if (found == s.processByPid.end()) {
        length = 0;
        return -1;
    }
    const simulated::Process& process = s.world.processes[found->second];
    record.parentPid = process.ppid;
    record.command.fill('\0');
    std::memcpy(record.command.data(), process.comm.data(), std::min(process.comm.size(), commandNameCapacity));
    length = static_cast<std::int64_t>(sizeof record);
    return 0;
}

}  // namespace observer::platform

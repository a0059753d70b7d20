// Kernel process-table lookups. Within a tick the rules cross the same processes again
// and again (every capturing pid's parent walk runs through its ancestors, the tracked
// application's check walks the same chains once more), so a tick asks the kernel for
// each process it needs once and answers the rest from that one record; the records go
// when the tick ends, so that the next tick sees processes that were replaced, adopted
// or renamed in between as they are then.
#include "observer/process/process_info.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "observer/platform/text.h"

namespace observer {
namespace {

bool sharingRecords = false;
std::unordered_map<Pid, std::optional<platform::ProcessRecord>> tickRecords;

std::optional<platform::ProcessRecord> queryRecord(Pid pid) {
    platform::ProcessRecord record{};
    std::int64_t length = static_cast<std::int64_t>(sizeof record);
    if (platform::queryProcessRecord(pid, record, length) != 0) return std::nullopt;
    if (length <= 0) return std::nullopt;
    return record;
}

}  // namespace

void shareProcessRecordsWithinTick() {
    sharingRecords = true;
}

void forgetProcessRecords() {
    sharingRecords = false;
    tickRecords.clear();
}

std::optional<platform::ProcessRecord> processInfo(Pid pid) {
    if (!sharingRecords) return queryRecord(pid);
    // A pid without a process is remembered too: it is asked about as often.
    const auto [entry, first] = tickRecords.try_emplace(pid);
    if (first) entry->second = queryRecord(pid);
    return entry->second;
}

std::optional<Pid> parentPID(Pid pid) {
    const auto record = processInfo(pid);
    if (!record) return std::nullopt;
    return record->parentPid;
}

std::optional<std::string> processName(Pid pid) {
    const auto record = processInfo(pid);
    if (!record) return std::nullopt;
    // The field is NUL-terminated by the kernel; should it not be, it still ends with the field.
    const std::size_t length = ::strnlen(record->command.data(), record->command.size());
    return platform::decodeUtf8(std::string_view(record->command.data(), length));
}

}  // namespace observer

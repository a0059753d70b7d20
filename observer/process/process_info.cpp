// Kernel process-table lookups, a fresh query every call.
#include "observer/process/process_info.h"

#include <cstring>
#include <string_view>

#include "observer/platform/text.h"

namespace observer {

std::optional<platform::ProcessRecord> processInfo(Pid pid) {
    platform::ProcessRecord record{};
    std::int64_t length = static_cast<std::int64_t>(sizeof record);
    if (platform::queryProcessRecord(pid, record, length) != 0) return std::nullopt;
    if (length <= 0) return std::nullopt;
    return record;
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

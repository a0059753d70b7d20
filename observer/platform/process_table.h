// The kernel's process table, one process at a time.
//
// Contract: `queryProcessRecord` asks the kernel for the record of one pid, as a fresh
// query every call. It answers a status (0 for success) and, through `length`, the
// number of bytes the kernel returned. A pid without a process answers a non-zero
// status or a length of 0. On success `record` holds the two fields the observer
// reads; the caller hands in a zero-filled record and owns it.
#pragma once

#include <array>
#include <cstdint>

namespace observer::platform {

// The kernel keeps at most 16 bytes of a command name; the field has room for a NUL.
inline constexpr std::size_t commandNameCapacity = 16;

struct ProcessRecord {
    std::int32_t parentPid = 0;
    // Raw bytes of the command name, NUL-terminated within the field; not always UTF-8.
    std::array<char, commandNameCapacity + 1> command{};
};

int queryProcessRecord(std::int32_t pid, ProcessRecord& record, std::int64_t& length);

}  // namespace observer::platform

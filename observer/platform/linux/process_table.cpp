// The process table from /proc/PID/stat: "pid (comm) state ppid ...".
#include "observer/platform/process_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace observer::platform {
namespace {

constexpr int failed = -1;

// The command name may hold spaces, ')' and newlines, so it runs from the first '('
// to the last ')'; the fields after it are plain numbers and words.
bool parseStat(std::string_view stat, ProcessRecord& record) {
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) return false;
    const std::string_view command = stat.substr(open + 1, close - open - 1);
    std::memcpy(record.command.data(), command.data(), std::min(command.size(), commandNameCapacity));

    std::string_view rest = stat.substr(close + 1);  // " S ppid ..."
    if (rest.size() < 4 || rest[0] != ' ' || rest[2] != ' ') return false;
    rest.remove_prefix(3);
    std::int32_t parent = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
    if (error != std::errc{}) return false;
    record.parentPid = parent;
    return true;
}

}  // namespace

int queryProcessRecord(std::int32_t pid, ProcessRecord& record, std::int64_t& length) {
    length = 0;
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failed;

    // A stat line is well under this size; comm is at most 15 bytes.
    char buffer[1024];
    ssize_t total = 0;
    while (total < static_cast<ssize_t>(sizeof buffer)) {
        const ssize_t got = ::read(fd, buffer + total, sizeof buffer - static_cast<std::size_t>(total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) total = -1;
            break;
        }
        total += got;
    }
    ::close(fd);
    if (total <= 0) return failed;
    if (!parseStat(std::string_view(buffer, static_cast<std::size_t>(total)), record)) return failed;
    length = total;
    return 0;
}

}  // namespace observer::platform

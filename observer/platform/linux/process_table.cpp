// The process table from /proc/PID/stat: "pid (comm) state ppid ...".
//
// Each tick walks the parents of the same few processes, and opening a /proc file costs
// a path walk through /proc that is most of a query. A /proc/PID/stat kept open answers
// afresh, from the kernel's current record, on every read from its start, and fails for
// good once its process is gone, even when the pid has been given to another process
// since: so the files of the processes asked about lately are kept open, and a failed
// read falls back to opening the path anew. A tick asks about each process it needs once,
// in the same order every tick, so the kept files must cover all of them: a bound smaller
// than a tick's processes would close each file just before it is needed again.
#include "observer/platform/process_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

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

// A stat line is well under this size; comm is at most 15 bytes.
constexpr std::size_t statCapacity = 1024;

// The whole file from its start; nothing when the read fails. The kernel writes the
// whole stat line at each read and hands out as much of it as was asked for, so a read
// that returns less than asked has reached the end: asking again at that offset would
// only make the kernel write the whole line once more to say so.
ssize_t readWhole(int fd, char (&buffer)[statCapacity]) {
    ssize_t total = 0;
    while (total < static_cast<ssize_t>(statCapacity)) {
        const std::size_t asked = statCapacity - static_cast<std::size_t>(total);
        const ssize_t got = ::pread(fd, buffer + total, asked, total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        total += got;
        if (static_cast<std::size_t>(got) < asked) break;
    }
    return total;
}

struct KeptStat {
    std::int32_t pid;
    int fd;
    std::uint64_t lastUse;
};
constexpr std::size_t keptStatLimit = 128;
std::vector<KeptStat> kept;
std::uint64_t uses = 0;

void forget(std::vector<KeptStat>::iterator entry) {
    ::close(entry->fd);
    kept.erase(entry);
}

// Keeps `fd` for `pid`, closing the longest unused one to make room.
void keep(std::int32_t pid, int fd) {
    if (kept.size() >= keptStatLimit)
        forget(std::min_element(kept.begin(), kept.end(),
                                [](const KeptStat& a, const KeptStat& b) { return a.lastUse < b.lastUse; }));
    kept.push_back({pid, fd, ++uses});
}

// The current stat line of `pid`, through a kept file when there is one.
ssize_t readStat(std::int32_t pid, char (&buffer)[statCapacity]) {
    const auto entry = std::find_if(kept.begin(), kept.end(), [&](const KeptStat& k) { return k.pid == pid; });
    if (entry != kept.end()) {
        const ssize_t total = readWhole(entry->fd, buffer);
        if (total > 0) {
            entry->lastUse = ++uses;
            return total;
        }
        forget(entry);  // its process is gone; the pid may be another's now
    }
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const ssize_t total = readWhole(fd, buffer);
    if (total > 0) {
        keep(pid, fd);
    } else {
        ::close(fd);
    }
    return total;
}

}  // namespace

int queryProcessRecord(std::int32_t pid, ProcessRecord& record, std::int64_t& length) {
    length = 0;
    if (pid <= 0) return failed;  // /proc has no such entries, and "self" is no pid
    char buffer[statCapacity];
    const ssize_t total = readStat(pid, buffer);
    if (total <= 0) return failed;
    if (!parseStat(std::string_view(buffer, static_cast<std::size_t>(total)), record)) return failed;
    length = total;
    return 0;
}

}  // namespace observer::platform

// A walk over /proc: every process's record once per call, read through the process
// table. Callers ask again only when the windows have changed.
#include "observer/platform/linux/app_processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>

#include "observer/platform/process_table.h"

namespace observer::platform::apps {
namespace {

constexpr std::size_t commandNameLength = commandNameCapacity - 1;
// Far more than any real environment; a bound on what is read.
constexpr std::size_t maximumEnvironment = 1024 * 1024;

std::optional<std::int32_t> pidOfEntry(const char* name) {
    char* end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    if (end == name || *end != '\0' || pid <= 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(pid);
}

// Whether the process runs in this Wayland session: its WAYLAND_DISPLAY is ours. Another
// user's processes, or another session's, are not the owners of this session's windows;
// a process whose environment cannot be read is not taken for one either.
bool inThisSession(std::int32_t pid, std::string_view ours) {
    if (ours.empty()) return true;
    const std::string wanted = "WAYLAND_DISPLAY=" + std::string(ours);
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/environ").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string environment;
    char buffer[16384];
    ssize_t got = 0;
    while (environment.size() < maximumEnvironment && (got = ::read(fd, buffer, sizeof buffer)) > 0)
        environment.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    for (std::size_t start = 0; start < environment.size();) {
        const auto end = std::min(environment.find('\0', start), environment.size());
        if (std::string_view(environment).substr(start, end - start) == wanted) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::optional<std::int32_t> runningProcessOf(std::string_view program) {
    const std::string_view wanted = program.substr(0, commandNameLength);
    if (wanted.empty()) return std::nullopt;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return std::nullopt;
    std::map<std::int32_t, std::int32_t> parentOfMatch;  // pid -> parent pid
    while (const dirent* entry = ::readdir(proc)) {
        const auto pid = pidOfEntry(entry->d_name);
        if (!pid) continue;
        ProcessRecord record;
        std::int64_t length = 0;
        if (queryProcessRecord(*pid, record, length) != 0 || length == 0) continue;
        if (std::string_view(record.command.data()) == wanted) parentOfMatch.emplace(*pid, record.parentPid);
    }
    ::closedir(proc);
    const char* display = std::getenv("WAYLAND_DISPLAY");
    for (const auto& [pid, parent] : parentOfMatch)
        if (!parentOfMatch.contains(parent) && inThisSession(pid, display != nullptr ? display : "")) return pid;
    return std::nullopt;
}

}  // namespace observer::platform::apps

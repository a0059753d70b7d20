#include "bench/world/process_readings.h"

#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "testbed/child_process.h"

namespace bench::world {
namespace {

using namespace std::chrono_literals;

std::string procPath(pid_t pid, std::string_view leaf) {
    std::string path = "/proc/";
    path += std::to_string(pid);
    path += leaf;
    return path;
}

}  // namespace

double cpuSeconds(pid_t pid) {
    const std::string tasks = procPath(pid, "/task");
    DIR* directory = ::opendir(tasks.c_str());
    if (directory == nullptr) return 0;
    double total = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream schedstat(tasks + "/" + entry->d_name + "/schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds) total += nanoseconds / 1e9;
    }
    ::closedir(directory);
    return total;
}

long statusKilobytes(pid_t pid, std::string_view field) {
    std::ifstream status(procPath(pid, "/status"));
    std::string line;
    while (std::getline(status, line))
        if (line.size() > field.size() && line.compare(0, field.size(), field) == 0 && line[field.size()] == ':')
            return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

std::vector<ProcessEntry> listProcesses() {
    std::vector<ProcessEntry> processes;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return processes;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        // "PID (COMMAND) STATE PARENT ...", where COMMAND may hold spaces and parentheses.
        const std::string stat = testbed::readFile(procPath(pid, "/stat"));
        const auto open = stat.find('(');
        const auto close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close + 4 >= stat.size()) continue;
        processes.push_back(
            {pid, std::atoi(stat.c_str() + close + 4), stat.substr(open + 1, close - open - 1), stat[close + 2]});
    }
    ::closedir(proc);
    return processes;
}

pid_t childNamed(pid_t parent, const std::string& command) {
    pid_t found = -1;
    testbed::eventually(
        [&] {
            for (const ProcessEntry& process : listProcesses())
                if (process.parent == parent && process.command == command) found = process.pid;
            return found > 0;
        },
        5s);
    return found;
}

}  // namespace bench::world

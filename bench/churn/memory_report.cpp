#include "bench/churn/memory_report.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string_view>
#include <utility>

#include "bench/world/process_readings.h"

namespace bench::churn {
std::string minute(long seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

void readMemory(pid_t pid, MemorySample& sample) {
    sample.residentKilobytes = world::statusKilobytes(pid, "VmRSS");
    sample.anonymousKilobytes = world::statusKilobytes(pid, "RssAnon");
    sample.dataKilobytes = world::statusKilobytes(pid, "VmData");
}

void printTableHeader() {
    std::printf("| minute | VmRSS | RssAnon | VmData | CPU per tick | log | world processes (zombies) |\n"
                "|---|---|---|---|---|---|---|\n");
    std::fflush(stdout);
}

void printRow(const MemorySample& sample) {
    std::printf("| %s | %ld KiB | %ld KiB | %ld KiB | %.2f ms | %ju bytes | %d (%d) |\n",
                minute(sample.seconds).c_str(), sample.residentKilobytes, sample.anonymousKilobytes, sample.dataKilobytes,
                sample.cpuMillisecondsPerTick, sample.logBytes, sample.worldProcesses, sample.zombies);
    std::fflush(stdout);
}

HeapVerdict judgeHeap(const std::vector<MemorySample>& samples) {
    const MemorySample* warm = &samples.front();
    for (const MemorySample& sample : samples) {
        if (sample.seconds >= warmUpSeconds) {
            warm = &sample;
            break;
        }
    }
    const MemorySample& last = samples.back();
    const long growth = last.anonymousKilobytes - warm->anonymousKilobytes;
    HeapVerdict verdict;
    verdict.flat = growth <= flatHeapKilobytes;
    char line[160];
    std::snprintf(line, sizeof line, "%s: RssAnon grew by %ld KiB from minute %s to minute %s",
                  verdict.flat ? "heap flat" : "heap grew", growth, minute(warm->seconds).c_str(),
                  minute(last.seconds).c_str());
    verdict.line = line;
    return verdict;
}

std::string countEvents(const std::string& events) {
    static constexpr std::string_view key = "\"event\":\"";
    std::vector<std::pair<std::string, int>> counts;
    std::istringstream lines(events);
    std::string line;
    while (std::getline(lines, line)) {
        std::string kind = "(no event key)";
        const auto start = line.find(key);
        if (start != std::string::npos) {
            const auto end = line.find('"', start + key.size());
            kind = line.substr(start + key.size(), end - start - key.size());
        }
        const auto known = std::find_if(counts.begin(), counts.end(),
                                        [&](const auto& counted) { return counted.first == kind; });
        if (known == counts.end()) {
            counts.emplace_back(kind, 1);
        } else {
            ++known->second;
        }
    }
    std::string text;
    for (const auto& [kind, count] : counts) {
        if (!text.empty()) text += ", ";
        text += kind;
        text += ' ';
        text += std::to_string(count);
    }
    return text.empty() ? "none" : text;
}

}  // namespace bench::churn

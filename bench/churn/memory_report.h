// quorvel's memory over a long run, sample by sample as a Markdown table, and whether
// its heap stayed flat once warmed up.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench::churn {

struct MemorySample {
    long seconds = 0;  // into the run
    long residentKilobytes = 0;   // VmRSS
    long anonymousKilobytes = 0;  // RssAnon: the heap and other private pages, where a leak shows
    long dataKilobytes = 0;       // VmData: what the heap has reserved, touched or not
    double cpuMillisecondsPerTick = 0;  // since the previous sample
    std::uintmax_t logBytes = 0;
    int worldProcesses = 0;  // the measuring program's running children
    int zombies = 0;         // its children that ended and were not reaped
};

// "M:SS" into the run, so that samples less than a minute apart stay apart.
std::string minute(long seconds);

// The three memory figures of /proc/PID/status; the rest is left as it is.
void readMemory(pid_t pid, MemorySample& sample);

void printTableHeader();
void printRow(const MemorySample& sample);

// The allowance for what the allocator keeps or gives back from one moment to another.
inline constexpr long flatHeapKilobytes = 64;
inline constexpr long warmUpSeconds = 5 * 60;

struct HeapVerdict {
    bool flat = false;
    std::string line;
};
// RssAnon after warm-up (the first sample from minute 5 on, or the first sample of a
// shorter run) against the last sample. `samples` is not empty.
HeapVerdict judgeHeap(const std::vector<MemorySample>& samples);

// "KIND N" for each kind of event line in `events`, in the order the kinds first appear.
std::string countEvents(const std::string& events);

}  // namespace bench::churn

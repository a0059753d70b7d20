// churning_world: whether quorvel's memory stays flat over a long run of a desktop that
// never rests. Private servers (Xvfb, openbox, PulseAudio with a virtual microphone) get
// sound clients and windows from many processes, which are then replaced, retitled and
// joined by a meeting now and then, every second of the run (see
// churn/churning_desktop.h), while quorvel watches under a host process of its own, as
// a desktop application starts it.
//
// Each sample prints quorvel's VmRSS, RssAnon and VmData, its CPU per tick since the
// previous sample, the size of its log and how many processes the world has. At the end
// come whether quorvel still runs, its log's size, the events it wrote, and RssAnon after
// warm-up against the last sample. RssAnon is the figure judged: the resident total also
// moves with the shared libraries and data files that the kernel pages in and out.
//
// Exit status: 0 when quorvel ran to the end and its heap stayed flat, 1 when it did
// not (or the world could not be set up), 2 for a wrong command line.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "bench/churn/churning_desktop.h"
#include "bench/churn/memory_report.h"
#include "bench/world/private_desktop.h"
#include "bench/world/process_readings.h"

namespace {

using namespace bench::churn;
using namespace bench::world;

constexpr char usage[] =
    "usage: churning_world [--minutes N] [--sample-seconds S] [--quorvel PATH]\n"
    "  --minutes N          how long the desktop churns under quorvel (default 60)\n"
    "  --sample-seconds S   seconds from one sample of quorvel's memory to the next (default 60)\n"
    "  --quorvel PATH       the quorvel to measure (default: the one of this build)\n";

struct Options {
    long minutes = 60;
    long sampleSeconds = 60;
    std::string quorvel = QUORVEL_PATH;
};

enum class Parsed { run, help, wrong };

// Up to a million, so that no count of seconds overflows.
bool parseCount(std::string_view text, long& value) {
    long parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size() || parsed <= 0 || parsed > 1'000'000) return false;
    value = parsed;
    return true;
}

Parsed parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help") return Parsed::help;
        if (i + 1 >= argc) return Parsed::wrong;
        const std::string_view value = argv[++i];
        if (option == "--minutes") {
            if (!parseCount(value, options.minutes)) return Parsed::wrong;
        } else if (option == "--sample-seconds") {
            if (!parseCount(value, options.sampleSeconds)) return Parsed::wrong;
        } else if (option == "--quorvel" && !value.empty()) {
            options.quorvel = value;
        } else {
            return Parsed::wrong;
        }
    }
    return Parsed::run;
}

// quorvel still runs, as its host's child: not ended, not a zombie, not handed to init.
bool runsUnder(pid_t pid, pid_t parent) {
    for (const ProcessEntry& process : listProcesses())
        if (process.pid == pid) return process.parent == parent && process.state != 'Z';
    return false;
}

void countWorld(MemorySample& sample) {
    const pid_t self = ::getpid();
    for (const ProcessEntry& process : listProcesses()) {
        if (process.parent != self) continue;
        if (process.state == 'Z') {
            ++sample.zombies;
        } else {
            ++sample.worldProcesses;
        }
    }
}

std::uintmax_t fileSize(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::world::runCorkedRecorderRole(argc, argv)) return 0;
    Options options;
    switch (parse(argc, argv, options)) {
        case Parsed::help:
            std::fputs(usage, stdout);
            return 0;
        case Parsed::wrong:
            std::fputs(usage, stderr);
            return 2;
        case Parsed::run:
            break;
    }

    PrivateDesktop desktop;
    if (!desktop.start()) {
        std::fprintf(stderr, "churning_world: the private servers did not start\n");
        return 1;
    }
    ChurningDesktop churn(desktop);
    if (!churn.populate()) {
        std::fprintf(stderr, "churning_world: the desktop's first windows were not shown\n");
        return 1;
    }
    const HostedQuorvel quorvel = desktop.startQuorvel(options.quorvel);
    if (quorvel.pid <= 0) {
        std::fprintf(stderr, "churning_world: %s did not start\n", options.quorvel.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));  // startup and the first ticks

    std::printf("%ld min, a sample every %ld s; %s\n\n", options.minutes, options.sampleSeconds,
                churn.describe().c_str());
    printTableHeader();
    const long total = options.minutes * 60;
    std::vector<MemorySample> samples;
    const auto start = std::chrono::steady_clock::now();
    double cpuBefore = cpuSeconds(quorvel.pid);
    long sampledAt = 0;
    bool alive = true;
    for (long second = 0; second < total && alive; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        churn.step(second);
        const long elapsed = second + 1;
        if (elapsed % options.sampleSeconds != 0 && elapsed != total) continue;
        std::this_thread::sleep_until(start + std::chrono::seconds(elapsed));
        MemorySample sample;
        sample.seconds = elapsed;
        readMemory(quorvel.pid, sample);
        const double cpu = cpuSeconds(quorvel.pid);
        alive = runsUnder(quorvel.pid, quorvel.host->pid);
        if (!alive) {
            std::printf("\nquorvel is not running any more: it ended between minute %s and minute %s\n",
                        minute(sampledAt).c_str(), minute(elapsed).c_str());
            break;
        }
        sample.cpuMillisecondsPerTick = (cpu - cpuBefore) * 1000.0 / static_cast<double>(elapsed - sampledAt);
        cpuBefore = cpu;
        sampledAt = elapsed;
        sample.logBytes = fileSize(desktop.logPath());
        countWorld(sample);
        printRow(sample);
        samples.push_back(sample);
    }

    if (alive) std::printf("\nquorvel still runs after %ld min\n", options.minutes);
    std::printf("log: %ju bytes\n", fileSize(desktop.logPath()));
    std::printf("events: %s\n", countEvents(testbed::readFile(desktop.eventsPath())).c_str());
    if (samples.empty()) return 1;
    const HeapVerdict verdict = judgeHeap(samples);
    std::printf("%s\n", verdict.line.c_str());
    return alive && verdict.flat ? 0 : 1;
}

// What one poll tick costs the observer itself, with the platform's answers coming from
// memory: an idle tick in per-process mode whose every parent walk runs to its end, and a
// tick on which both detection passes run in full. Before the timings it checks that the
// heap in use does not grow with the number of ticks.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <optional>
#include <string>

#include "observer/core/poll_tick.h"
#include "observer/core/startup.h"
#include "observer/core/state.h"
#include "observer/platform/simulated/world.h"

namespace {

namespace sim = observer::platform::simulated;
using observer::Pid;

constexpr Pid observerPid = 90000;
constexpr Pid hostPid = 100;

// 1,000 processes in chains of up to 30 below init. Chain 0 hangs below the host, so
// its processes are own; the others are not.
sim::World idleWorld() {
    sim::World world;
    world.processes.push_back({hostPid, 1, "Host"});
    Pid next = 1000;
    for (int chain = 0; world.processes.size() < 1000; ++chain) {
        Pid parent = chain == 0 ? hostPid : 1;
        for (int depth = 0; depth < 30 && world.processes.size() < 1000; ++depth) {
            const bool service = chain > 0 && depth == 29;
            world.processes.push_back({next, parent, service ? (chain % 2 ? "replayd" : "corespeechd") : "worker"});
            parent = next++;
        }
    }
    // 50 process objects; 10 run input: five own processes 29 generations below the
    // host, five services at the end of 30-deep chains.
    world.audioProcesses.emplace();
    for (observer::platform::audio::ObjectId id = 10; id < 60; ++id) {
        const int index = static_cast<int>(id - 10);
        const bool running = index % 5 == 0;
        Pid pid = 1000 + index;
        if (running) pid = index < 25 ? 1000 + 28 : 1000 + 30 * (index / 5 - 4) + 29;
        world.audioProcesses->push_back({id, pid, running});
    }
    world.devices = {{7, std::vector<std::uint32_t>{2}, true}};
    return world;
}

// The microphone is used by a process that no application owns; twelve applications
// cover every catalogue row, each showing a meeting title, so every row of the fallback
// pass reads titles and asks for attribution. The frontmost application is not capturing.
sim::World detectingWorld() {
    sim::World world;
    const char* names[] = {"zoom.us", "Microsoft Teams", "Cisco Webex Meetings", "Slack", "Google Chrome",
                           "Microsoft Edge", "Safari", "Firefox", "Opera", "Brave Browser", "Notes", "Mail"};
    const char* bundles[] = {"us.zoom.xos", "com.microsoft.teams2", "com.cisco.webexmeetingsapp",
                             "com.tinyspeck.slackmacgap", "com.google.Chrome", "com.microsoft.edgemac",
                             "com.apple.Safari", "org.mozilla.firefox", "com.operasoftware.Opera",
                             "com.brave.Browser", "com.apple.Notes", "com.apple.mail"};
    for (int index = 0; index < 12; ++index) {
        const Pid pid = 500 + index;
        world.processes.push_back({pid, 1, names[index]});
        world.apps.push_back({std::string(names[index]), std::string(bundles[index]), pid});
    }
    world.processes.push_back({600, 1, "recorder"});
    world.audioProcesses = std::vector<sim::AudioProcess>{{10, 600, true}};
    world.frontmostPid = 503;
    world.windows.emplace();
    for (int index = 0; index < 200; ++index) {
        const Pid owner = index < 188 ? 700 + index : 500 + (index - 188);
        world.windows->push_back({owner, std::string("Weekly planning \xE2\x80\x93 Zoom Meeting ") + std::to_string(index)});
    }
    return world;
}

void startIn(const sim::World& world) {
    sim::reset();
    sim::setObserverProcess(observerPid, hostPid);
    sim::setWorld(world);
    observer::startObserver();
    sim::clearCapturedStreams();
}

// One tick; the captured streams are emptied, keeping their capacity, so they do not grow.
void tick() {
    observer::pollTick();
    sim::clearCapturedStreams();
}

void BM_IdleTick(benchmark::State& state) {
    startIn(idleWorld());
    for (auto _ : state) tick();
    if (observer::micWasActive) state.SkipWithError("the idle world must not look like a meeting");
}
BENCHMARK(BM_IdleTick);

void BM_DetectingTick(benchmark::State& state) {
    startIn(detectingWorld());
    for (auto _ : state) tick();
    if (!observer::micWasActive || observer::emittedForCurrentSession) {
        state.SkipWithError("the detecting world must keep detection running");
    }
}
BENCHMARK(BM_DetectingTick);

// The bytes the allocator has handed out and not taken back, where the C library says.
std::optional<std::size_t> heapInUse() {
#if defined(__GLIBC__)
    return mallinfo2().uordblks;
#else
    return std::nullopt;
#endif
}

// The heap in use after 100,000 ticks must equal that after 1,000.
bool heapStaysFlat(const char* name, const sim::World& world) {
    if (!heapInUse()) {
        std::printf("%s: this C library does not report the heap in use; not checked\n", name);
        return true;
    }
    startIn(world);
    for (int k = 0; k < 1'000; ++k) tick();
    const std::size_t early = *heapInUse();
    for (int k = 1'000; k < 100'000; ++k) tick();
    const std::size_t late = *heapInUse();
    std::printf("%s: heap in use after 1,000 ticks %zu bytes, after 100,000 ticks %zu bytes\n", name, early, late);
    return early == late;
}

}  // namespace

int main(int argc, char** argv) {
    // Both checks run, so that a failing first one does not hide the second's figures.
    const bool idleFlat = heapStaysFlat("idle tick", idleWorld());
    const bool detectingFlat = heapStaysFlat("detecting tick", detectingWorld());
    const bool flat = idleFlat && detectingFlat;
    if (!flat) std::printf("the heap grew\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return flat ? 0 : 1;
}

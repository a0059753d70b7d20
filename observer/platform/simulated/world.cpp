// The simulated world and its set-up operations.
#include "observer/platform/simulated/simulation.h"

namespace observer::platform::simulated {
namespace {

constexpr std::chrono::milliseconds day = std::chrono::hours(24);

}  // namespace

Simulation& simulation() {
    static Simulation state;
    return state;
}

void setWorld(World world) {
    Simulation& s = simulation();
    s.world = std::move(world);
    s.processByPid.clear();
    for (std::size_t index = 0; index < s.world.processes.size(); ++index) {
        s.processByPid.emplace(s.world.processes[index].pid, index);
    }
    s.audioProcessById.clear();
    if (s.world.audioProcesses) {
        for (std::size_t index = 0; index < s.world.audioProcesses->size(); ++index) {
            s.audioProcessById.emplace((*s.world.audioProcesses)[index].id, index);
        }
    }
    s.deviceById.clear();
    for (std::size_t index = 0; index < s.world.devices.size(); ++index) {
        s.deviceById.emplace(s.world.devices[index].id, index);
    }
}

const World& world() {
    return simulation().world;
}

void setObserverProcess(std::int32_t pid, std::int32_t parentPid) {
    simulation().observerPid = pid;
    simulation().observerParentPid = parentPid;
}

void setClock(std::chrono::milliseconds sinceMidnight) {
    simulation().clock = ((sinceMidnight % day) + day) % day;
}

void advanceClock(std::chrono::milliseconds by) {
    setClock(simulation().clock + by);
}

void useRealClock(bool real) {
    simulation().realClock = real;
}

void setHalOverride(HalOverride override) {
    simulation().halOverride = std::move(override);
}

void recordHalCalls(bool on) {
    simulation().recordingHalCalls = on;
    simulation().halCalls.clear();
}

const std::vector<HalCall>& halCalls() {
    return simulation().halCalls;
}

void setProcessQueryOverride(ProcessQueryOverride override) {
    simulation().processQueryOverride = std::move(override);
}

std::size_t processQueryCount() {
    return simulation().processQueries;
}

std::size_t windowListCopyCount() {
    return simulation().windowListCopies;
}

void passStreamsThrough(bool through) {
    simulation().streamsPassThrough = through;
}

const std::string& capturedStandardOutput() {
    return simulation().standardOutput;
}

const std::string& capturedStandardError() {
    return simulation().standardError;
}

void clearCapturedStreams() {
    simulation().standardOutput.clear();
    simulation().standardError.clear();
}

void refuseEventLines(int count) {
    simulation().eventLinesToRefuse = count;
}

int eventRoomWaitCount() {
    return simulation().eventRoomWaits;
}

bool timerScheduled() {
    return static_cast<bool>(simulation().timerAction);
}

std::chrono::milliseconds timerInterval() {
    return simulation().timerInterval;
}

void fireTimer() {
    Simulation& s = simulation();
    if (s.ended) return;  // a process that has ended runs no more ticks
    advanceClock(s.timerInterval);
    if (s.timerAction) s.timerAction();
}

void planRunLoop(long long ticks, std::function<void(long long)> beforeTick, bool realtime) {
    Simulation& s = simulation();
    s.plannedTicks = ticks;
    s.beforeTick = std::move(beforeTick);
    s.realtime = realtime;
}

bool interruptHandlerInstalled() {
    return simulation().interruptHandlerInstalled;
}

bool processEnded() {
    return simulation().ended;
}

void reset() {
    simulation() = Simulation{};
    setWorld(World{});
}

}  // namespace observer::platform::simulated

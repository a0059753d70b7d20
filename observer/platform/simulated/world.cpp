// The simulated world and its set-up operations.
#include "observer/platform/simulated/simulation.h"

#include "observer/platform/helpers/icu/text_locale.h"

namespace observer::platform::simulated {
namespace {

constexpr std::chrono::milliseconds day = std::chrono::hours(24);

// Each index is rebuilt from a fresh table: clearing keeps the old table's buckets, and
// clearing those again at every change would cost what the largest list ever held.
void indexProcesses(Simulation& s) {
    s.processByPid = decltype(s.processByPid)();
    for (std::size_t index = 0; index < s.world.processes.size(); ++index) {
        s.processByPid.emplace(s.world.processes[index].pid, index);
    }
}

void indexAudioProcesses(Simulation& s) {
    s.audioProcessById = decltype(s.audioProcessById)();
    if (!s.world.audioProcesses) return;
    for (std::size_t index = 0; index < s.world.audioProcesses->size(); ++index) {
        s.audioProcessById.emplace((*s.world.audioProcesses)[index].id, index);
    }
}

void indexDevices(Simulation& s) {
    s.deviceById = decltype(s.deviceById)();
    for (std::size_t index = 0; index < s.world.devices.size(); ++index) {
        s.deviceById.emplace(s.world.devices[index].id, index);
    }
}

}  // namespace

Simulation& simulation() {
    static Simulation state;
    return state;
}

void setWorld(World world) {
    Simulation& s = simulation();
    s.world = std::move(world);
    indexProcesses(s);
    indexAudioProcesses(s);
    indexDevices(s);
}

void applyChange(World& world, WorldChange change) {
    if (change.processes) world.processes = std::move(*change.processes);
    if (change.audioProcesses) world.audioProcesses = std::move(*change.audioProcesses);
    if (change.devices) world.devices = std::move(*change.devices);
    if (change.apps) world.apps = std::move(*change.apps);
    if (change.frontmostPid) world.frontmostPid = *change.frontmostPid;
    if (change.windows) world.windows = std::move(*change.windows);
}

void changeWorld(WorldChange change) {
    Simulation& s = simulation();
    const bool processes = change.processes.has_value();
    const bool audioProcesses = change.audioProcesses.has_value();
    const bool devices = change.devices.has_value();
    applyChange(s.world, std::move(change));
    if (processes) indexProcesses(s);
    if (audioProcesses) indexAudioProcesses(s);
    if (devices) indexDevices(s);
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

std::size_t runningApplicationsQueryCount() {
    return simulation().runningApplicationsQueries;
}

std::size_t frontmostApplicationQueryCount() {
    return simulation().frontmostApplicationQueries;
}

void useTextLocale(const std::optional<std::string>& locale) {
    icu::useTextLocale(locale);
}

bool isKnownTextLocale(std::string_view locale) {
    return icu::isKnownLocale(locale);
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

void stepTicksByLines(int fd) {
    simulation().stepInput = fd;
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

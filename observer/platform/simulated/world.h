// The simulated platform: an in-memory world that every platform header answers from.
// Tests and quorvel-replay set it up world by world and can make any query fail.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "observer/platform/audio_hal.h"
#include "observer/platform/process_table.h"
#include "observer/platform/window_list.h"
#include "observer/platform/workspace.h"

namespace observer::platform::simulated {

struct Process {
    std::int32_t pid = 0;
    std::int32_t ppid = 0;
    std::string comm;  // raw bytes; the kernel keeps the first 16
};

struct AudioProcess {
    audio::ObjectId id = 0;
    std::optional<std::int32_t> pid;          // nothing: the pid query fails
    std::optional<bool> runningInput;         // nothing: the running-input query fails
};

struct Device {
    audio::ObjectId id = 0;
    std::optional<std::vector<std::uint32_t>> inputChannels;  // per buffer; nothing: query fails
    std::optional<bool> running;                              // nothing: query fails
};

struct Window {
    WindowOwnerPid ownerPid = MissingKey{};
    WindowName name = MissingKey{};
};

struct World {
    std::vector<Process> processes;
    // Nothing: the process-object list cannot be read (its size query fails).
    std::optional<std::vector<AudioProcess>> audioProcesses = std::vector<AudioProcess>{};
    std::vector<Device> devices;
    std::vector<RunningApplication> apps;
    std::optional<std::int32_t> frontmostPid;  // must name one of `apps`
    // Nothing: the window server answers no list at all.
    std::optional<std::vector<Window>> windows = std::vector<Window>{};
};

// Replaces the whole world; every later query answers from it.
void setWorld(World world);

// Part of a world: each value given replaces the world's, the others stay as they are.
struct WorldChange {
    std::optional<std::vector<Process>> processes;
    std::optional<std::optional<std::vector<AudioProcess>>> audioProcesses;
    std::optional<std::vector<Device>> devices;
    std::optional<std::vector<RunningApplication>> apps;
    std::optional<std::optional<std::int32_t>> frontmostPid;
    std::optional<std::optional<std::vector<Window>>> windows;
};
void applyChange(World& world, WorldChange change);
// applyChange to the simulated world; costs what the change holds, not what the world holds.
void changeWorld(WorldChange change);
const World& world();

// What getpid and getppid answer.
void setObserverProcess(std::int32_t pid, std::int32_t parentPid);

// The local time of day, in milliseconds since midnight; it wraps at midnight.
void setClock(std::chrono::milliseconds sinceMidnight);
void advanceClock(std::chrono::milliseconds by);
// Answers the real local time instead (quorvel-replay --realtime).
void useRealClock(bool real);

// Scripted HAL answers: when the override returns a status, that is the query's answer
// (with whatever it wrote into size and data) and the world is not asked.
enum class HalQuery { size, data };
using HalOverride = std::function<std::optional<audio::Status>(
    HalQuery query, audio::ObjectId object, const audio::PropertyAddress& address, std::uint32_t& size, void* data)>;
void setHalOverride(HalOverride override);

struct HalCall {
    HalQuery query;
    audio::ObjectId object;
    std::uint32_t selector;
};
// Recording is off unless asked for, so that long runs keep no growing log.
void recordHalCalls(bool on);
const std::vector<HalCall>& halCalls();

// Scripted process-table answers, as for the HAL.
using ProcessQueryOverride =
    std::function<std::optional<int>(std::int32_t pid, ProcessRecord& record, std::int64_t& length)>;
void setProcessQueryOverride(ProcessQueryOverride override);
// How often each query was made since the last reset.
std::size_t processQueryCount();
std::size_t windowListCopyCount();
std::size_t runningApplicationsQueryCount();
std::size_t frontmostApplicationQueryCount();

// Standard streams: captured in memory unless passed through to the real ones.
void passStreamsThrough(bool through);
const std::string& capturedStandardOutput();
const std::string& capturedStandardError();
void clearCapturedStreams();
// The next `count` event lines are refused, as by a full queue for a reader that does not
// read; each wait for room is counted.
void refuseEventLines(int count);
int eventRoomWaitCount();

// The repeating timer.
bool timerScheduled();
std::chrono::milliseconds timerInterval();
// Advances the clock by one interval and runs the timer's action once (unless the
// observer has ended).
void fireTimer();

// What runMainRunLoop does: fire the timer `ticks` times, calling `beforeTick(k)` before
// tick k so that the world can change. With `realtime`, ticks keep to the real clock and
// go on after the planned ones, in the world as it then is, until the process is ended.
void planRunLoop(long long ticks, std::function<void(long long tick)> beforeTick, bool realtime);
// A realtime run loop then takes one tick per line read from `fd` (quorvel-replay --step)
// instead of one a second, on the simulated clock; at the end of that input it delivers
// the events already written and returns.
void stepTicksByLines(int fd);

// The locale of the text rules (ICU's): `locale`, which should be one that
// isKnownTextLocale accepts, or the user's again when it is nothing.
void useTextLocale(const std::optional<std::string>& locale);
bool isKnownTextLocale(std::string_view locale);

bool interruptHandlerInstalled();
// Whether the observer ended itself through endProcess.
bool processEnded();

// Back to an empty world with no overrides, nothing captured and no timer.
void reset();

}  // namespace observer::platform::simulated

// The simulated platform's state, shared by the files that answer each platform header.
#pragma once

#include <unordered_map>

#include "observer/platform/simulated/world.h"

namespace observer::platform::simulated {

struct Simulation {
    World world;
    std::unordered_map<std::int32_t, std::size_t> processByPid;  // index into world.processes
    std::unordered_map<audio::ObjectId, std::size_t> audioProcessById;
    std::unordered_map<audio::ObjectId, std::size_t> deviceById;

    std::int32_t observerPid = 0;
    std::int32_t observerParentPid = 0;

    std::chrono::milliseconds clock{0};
    bool realClock = false;

    HalOverride halOverride;
    bool recordingHalCalls = false;
    std::vector<HalCall> halCalls;
    ProcessQueryOverride processQueryOverride;
    std::size_t processQueries = 0;
    std::size_t windowListCopies = 0;
    std::size_t runningApplicationsQueries = 0;
    std::size_t frontmostApplicationQueries = 0;

    bool streamsPassThrough = false;
    int eventLinesToRefuse = 0;  // as a full queue refuses them
    int eventRoomWaits = 0;
    std::string standardOutput;
    std::string standardError;

    std::chrono::milliseconds timerInterval{0};
    std::function<void()> timerAction;
    long long plannedTicks = 0;
    std::function<void(long long)> beforeTick;
    bool realtime = false;
    int stepInput = -1;  // the descriptor whose lines step the ticks, or -1

    bool interruptHandlerInstalled = false;
    bool ended = false;  // endProcess was called
};

Simulation& simulation();

}  // namespace observer::platform::simulated

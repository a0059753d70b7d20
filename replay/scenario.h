// A replay scenario: the observer's pids, the clock at startup, how many ticks run, and
// the worlds the simulated platform shows from a given tick on.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "observer/platform/simulated/world.h"

namespace replay {

struct State {
    long long fromTick = 0;
    observer::platform::simulated::World world;
};

struct Scenario {
    std::int32_t pid = 0;
    std::int32_t parentPid = 0;
    std::chrono::milliseconds clock{0};
    long long ticks = 0;
    std::vector<State> states;  // non-empty, fromTick strictly increasing from 0
};

// What is wrong with a scenario, in words for the person who wrote it.
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Scenario parseScenario(const std::string& text);

// The world that tick `tick` sees (tick 0 is startup).
const observer::platform::simulated::World& worldAt(const Scenario& scenario, long long tick);

}  // namespace replay

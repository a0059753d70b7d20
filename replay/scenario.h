// A replay scenario: the observer's pids, the clock at startup, how many ticks run, the
// locale of the text rules, and the worlds the simulated platform shows from a given tick
// on.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "observer/platform/simulated/world.h"

namespace replay {

// The locale of the text rules when a scenario names none, whatever the machine's.
inline constexpr const char* defaultLocale = "en_US";

struct State {
    long long fromTick = 0;
    // What differs from the previous state; the first state's change holds every key.
    observer::platform::simulated::WorldChange change;
};

struct Scenario {
    std::int32_t pid = 0;
    std::int32_t parentPid = 0;
    std::chrono::milliseconds clock{0};
    long long ticks = 0;
    std::string locale = defaultLocale;
    std::vector<State> states;  // non-empty, fromTick strictly increasing from 0
};

// What is wrong with a scenario, in words for the person who wrote it.
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Scenario parseScenario(const std::string& text);

// The whole world that tick `tick` sees (tick 0 is startup).
observer::platform::simulated::World worldAt(const Scenario& scenario, long long tick);

}  // namespace replay

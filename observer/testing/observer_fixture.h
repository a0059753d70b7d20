// A fresh simulated platform and observer state for every test, with helpers to build
// worlds and read what the observer wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "observer/core/state.h"
#include "observer/platform/simulated/world.h"

namespace observer::testing {

namespace sim = platform::simulated;

inline constexpr Pid observerPid = 4000;
inline constexpr Pid hostPid = 3000;
// Every diagnostic line of a test starts with this time stamp unless the clock moves.
inline constexpr const char* stamp = "[09:30:00.000] ";

class ObserverTest : public ::testing::Test {
protected:
    // An empty world, per-process mode, the catalogue filled, the session Idle, the
    // clock at 09:30:00.000 and the observer a child of the host.
    void SetUp() override;

    static std::vector<std::string> outputLines();
    static std::vector<std::string> logLines();
    static void clearOutput();
};

// A process table entry for each (pid, parent) pair, named "proc<pid>".
sim::Process process(Pid pid, Pid ppid, std::string comm = {});
// A process object with a pid, running input or not.
sim::AudioProcess capturing(platform::audio::ObjectId id, Pid pid, bool runningInput = true);
platform::RunningApplication app(std::string name, Pid pid, std::optional<std::string> bundleId = std::nullopt);
sim::Window window(Pid pid, std::string title);
// A microphone device with one mono buffer, running or not.
sim::Device microphone(platform::audio::ObjectId id, bool running);

}  // namespace observer::testing

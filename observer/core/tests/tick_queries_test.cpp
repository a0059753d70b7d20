// What one tick asks of the system: each process's record at most once, however many
// parent walks cross it, and afresh on the next tick.
#include <map>

#include "observer/core/poll_tick.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

constexpr Pid zoomPid = 700;

class TickQueriesTest : public ObserverTest {
protected:
    // How often each pid's record was asked for during one tick.
    std::map<Pid, int> recordReadsOfOneTick() {
        std::map<Pid, int> reads;
        sim::setProcessQueryOverride([&reads](Pid pid, platform::ProcessRecord&, std::int64_t&) {
            ++reads[pid];
            return std::optional<int>();  // the world answers
        });
        pollTick();
        sim::setProcessQueryOverride(nullptr);
        return reads;
    }
};

// The host's tree and two system services capture, in chains that overlap, while Zoom's
// helper captures for the tracked meeting: every capturing pid's walk and the tracked
// application's check cross the same ancestors.
sim::World overlappingChains() {
    sim::World world;
    world.processes = {process(hostPid, 1, "Host"), process(zoomPid, 1, "zoom.us"), process(701, zoomPid, "helper")};
    for (Pid pid = 3001; pid <= 3010; ++pid) world.processes.push_back(process(pid, pid - 1));
    world.processes.push_back(process(5000, 1));
    for (Pid pid = 5001; pid <= 5005; ++pid) world.processes.push_back(process(pid, pid - 1));
    world.processes.push_back(process(5006, 5005, "corespeechd"));
    world.processes.push_back(process(5007, 5006, "replayd"));
    world.apps = {app("zoom.us", zoomPid)};
    world.frontmostPid = zoomPid;
    world.windows = std::vector<sim::Window>{window(zoomPid, "Zoom Meeting")};
    world.audioProcesses = std::vector<sim::AudioProcess>{capturing(10, 3010), capturing(11, 3007), capturing(12, 3005),
                                                          capturing(13, 5007), capturing(14, 5006), capturing(15, 701)};
    return world;
}

TEST_F(TickQueriesTest, EachRecordIsReadOnceATickWhileDetectingAndWhileTracking) {
    sim::setWorld(overlappingChains());
    const std::map<Pid, int> detecting = recordReadsOfOneTick();
    ASSERT_EQ(outputLines(), std::vector<std::string>{
                                 R"({"event":"mic-active","app":"Zoom","pid":700,"title":"Zoom Meeting"})"});
    const std::map<Pid, int> tracking = recordReadsOfOneTick();
    EXPECT_TRUE(emittedForCurrentSession) << "the tracked meeting goes on";
    EXPECT_EQ(outputLines().size(), 1u);

    for (const auto* reads : {&detecting, &tracking}) {
        EXPECT_TRUE(reads->contains(3001) && reads->contains(5000) && reads->contains(701))
            << "the walks ran through the chains";
        for (const auto& [pid, count] : *reads) EXPECT_EQ(count, 1) << "pid " << pid;
    }
}

// pid 300 keeps capturing while the process behind it changes between ticks: each tick
// sees the process as it is then.
TEST_F(TickQueriesTest, ARecordIsNotKeptFromOneTickToTheNext) {
    sim::World world;
    world.audioProcesses = std::vector<sim::AudioProcess>{capturing(10, 300)};
    const auto tickWith = [&](std::vector<sim::Process> processes) {
        world.processes = std::move(processes);
        sim::setWorld(world);
        pollTick();
        return micWasActive;
    };
    EXPECT_FALSE(tickWith({process(hostPid, 1), process(300, hostPid)})) << "the host's own";
    EXPECT_TRUE(tickWith({process(hostPid, 1)})) << "gone: its pid says nothing about it";
    EXPECT_FALSE(tickWith({process(hostPid, 1), process(300, 1, "replayd")})) << "the pid given to a service";
    EXPECT_TRUE(tickWith({process(hostPid, 1), process(300, 1, "recorder")})) << "and then to another program";
    EXPECT_FALSE(tickWith({process(hostPid, 1), process(299, hostPid), process(300, 299)}))
        << "and then to a grandchild of the host";
}

}  // namespace
}  // namespace observer::testing

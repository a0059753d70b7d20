#include "observer/process/process_rules.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

using ProcessRulesTest = ObserverTest;

// A chain 1000 -> 1001 -> ... where 1000 + k is k generations below 1000, topped by init.
sim::World chain(int generations) {
    sim::World world;
    world.processes.push_back(process(1000, 1));
    for (int k = 1; k <= generations; ++k) world.processes.push_back(process(1000 + k, 1000 + k - 1));
    return world;
}

TEST_F(ProcessRulesTest, WalkReachesThirtyOneGenerationsButNotThirtyTwo) {
    sim::setWorld(chain(40));
    EXPECT_TRUE(isDescendant(1031, 1000));
    EXPECT_FALSE(isDescendant(1032, 1000));
    const std::size_t before = sim::processQueryCount();
    EXPECT_FALSE(isDescendant(1040, 1000));
    EXPECT_EQ(sim::processQueryCount() - before, 32u) << "one question makes at most 32 lookups";
}

TEST_F(ProcessRulesTest, SelfIsADescendantWithoutAnyLookup) {
    const std::size_t before = sim::processQueryCount();
    EXPECT_TRUE(isDescendant(4242, 4242));
    EXPECT_EQ(sim::processQueryCount(), before);
}

TEST_F(ProcessRulesTest, PidsOfOneAndBelowAreNeverAncestors) {
    sim::setWorld(chain(3));
    for (const Pid ancestor : {1, 0, -1}) {
        EXPECT_FALSE(isDescendant(1003, ancestor));
        EXPECT_FALSE(isDescendant(1, ancestor));
        EXPECT_FALSE(isDescendant(ancestor, ancestor));
    }
}

TEST_F(ProcessRulesTest, WalkEndsAtInitAtASelfParentAndAtAMissingParent) {
    sim::World world = chain(3);
    world.processes.push_back(process(2000, 2000));
    world.processes.push_back(process(2001, 2000));
    world.processes.push_back(process(2100, 2099));  // 2099 does not exist
    sim::setWorld(world);
    EXPECT_FALSE(isDescendant(1003, 999));
    EXPECT_FALSE(isDescendant(2001, 1000));
    EXPECT_TRUE(isDescendant(2001, 2000)) << "the comparison comes before the self-parent test";
    EXPECT_FALSE(isDescendant(2100, 1000));
}

TEST_F(ProcessRulesTest, ParentLoopEndsAtTheBound) {
    sim::World world;
    world.processes = {process(10, 11), process(11, 10)};
    sim::setWorld(world);
    EXPECT_FALSE(isDescendant(10, 500));
}

TEST_F(ProcessRulesTest, OwnProcessIsTheObserverOrTheHostsTree) {
    sim::World world;
    world.processes = {process(hostPid, 1), process(3001, hostPid), process(3002, 3001), process(77, 1)};
    sim::setWorld(world);
    EXPECT_TRUE(isOwnProcess(observerPid)) << "even without a process-table entry";
    EXPECT_TRUE(isOwnProcess(hostPid));
    EXPECT_TRUE(isOwnProcess(3002));
    EXPECT_FALSE(isOwnProcess(77));
    ownAppPID = 1;
    EXPECT_TRUE(isOwnProcess(observerPid));
    EXPECT_FALSE(isOwnProcess(3002));
    EXPECT_FALSE(isOwnProcess(1));
}

TEST_F(ProcessRulesTest, InputServicesByExactName) {
    sim::World world;
    world.processes = {process(10, 1, "replayd"), process(11, 1, "Replayd"), process(12, 1, "corespeechd"),
                       process(13, 1, "replayd2")};
    sim::setWorld(world);
    EXPECT_TRUE(isNonMeetingInputService(10));
    EXPECT_FALSE(isNonMeetingInputService(11));
    EXPECT_TRUE(isNonMeetingInputService(12));
    EXPECT_FALSE(isNonMeetingInputService(13));
    EXPECT_FALSE(isNonMeetingInputService(14)) << "no process";
}

TEST_F(ProcessRulesTest, SafariOwnsWebKitProcessesByName) {
    sim::World world;
    world.processes = {process(500, 1, "Safari"), process(600, 1, "com.apple.WebKi"),
                       process(601, 1, "com.apple.WebKit.GPU"), process(602, 1, "com.apple.WebK"),
                       process(501, 500, "Safari Helper")};
    sim::setWorld(world);
    EXPECT_TRUE(belongsToApp(600, 500, "Safari"));
    EXPECT_TRUE(belongsToApp(601, 500, "Safari"));
    EXPECT_FALSE(belongsToApp(602, 500, "Safari"));
    EXPECT_TRUE(belongsToApp(501, 500, "Safari"));
    EXPECT_FALSE(belongsToApp(601, 500, "Google Chrome"));
    EXPECT_FALSE(belongsToApp(601, 500, "safari"));
    EXPECT_FALSE(belongsToApp(999, 500, "Safari")) << "no process, no name";
}

TEST_F(ProcessRulesTest, ApplicationOwnsItselfUnderEveryLabel) {
    for (const char* label : {"Zoom", "Safari", "Brave"}) EXPECT_TRUE(belongsToApp(812, 812, label));
    EXPECT_FALSE(belongsToApp(1, 1, "Zoom"));
}

}  // namespace
}  // namespace observer::testing

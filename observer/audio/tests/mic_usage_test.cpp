#include "observer/audio/mic_usage.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

using sim::HalQuery;

// The host (3000) with a child (3001); the observer (4000); services; a browser (500)
// whose helper (501) records; a stranger (600).
sim::World baseWorld() {
    sim::World world;
    world.processes = {process(hostPid, 1, "Host"),           process(3001, hostPid, "Host Helper"),
                       process(observerPid, hostPid, "quorvel"), process(200, 1, "replayd"),
                       process(201, 1, "corespeechd"),         process(202, 1, "Replayd"),
                       process(500, 1, "Google Chrome"),       process(501, 500, "Google Chrome He"),
                       process(600, 1, "recorder"),            process(3002, 3001, "replayd")};
    world.devices = {microphone(90, true)};
    return world;
}

class MicUsageTest : public ObserverTest {
protected:
    void capture(std::vector<sim::AudioProcess> objects) {
        sim::World world = baseWorld();
        world.audioProcesses = std::move(objects);
        sim::setWorld(world);
    }
};

TEST_F(MicUsageTest, InputPidsListRunningObjectsInOrderWithUnreadablePids) {
    capture({capturing(10, 600), capturing(11, 500, false), {12, std::nullopt, true}, {13, 501, std::nullopt}});
    EXPECT_EQ(micInputPIDs(), (std::vector<std::optional<Pid>>{600, std::nullopt}));
}

TEST_F(MicUsageTest, NoInputMeansNoMeetingEvenIfADeviceRuns) {
    capture({capturing(10, 600, false)});
    sim::recordHalCalls(true);
    EXPECT_EQ(isForeignProcessUsingMic(), false);
    EXPECT_FALSE(isMeetingMicActive());
    for (const auto& call : sim::halCalls()) EXPECT_NE(call.object, 90u) << "devices are not asked";
}

TEST_F(MicUsageTest, OwnAndServiceProcessesAreNotForeign) {
    capture({capturing(10, hostPid), capturing(11, 3001), capturing(12, observerPid), capturing(13, 200),
             capturing(14, 201), capturing(15, 3002)});
    EXPECT_EQ(isForeignProcessUsingMic(), false);
    EXPECT_FALSE(isMeetingMicActive());
}

TEST_F(MicUsageTest, ServiceNamesMatchWholeAndCaseSensitively) {
    capture({capturing(10, 202)});
    EXPECT_EQ(isForeignProcessUsingMic(), true);
}

TEST_F(MicUsageTest, HostProcessWithAServiceNameIsNotAskedForItsName) {
    capture({capturing(15, 3002)});
    const std::size_t before = sim::processQueryCount();
    EXPECT_EQ(isForeignProcessUsingMic(), false);
    // 3002 -> 3001 -> 3000: two parent lookups, and no name lookup after them.
    EXPECT_EQ(sim::processQueryCount() - before, 2u);
}

TEST_F(MicUsageTest, UnreadablePidCountsAsForeignButBelongsToNoApplication) {
    capture({{10, std::nullopt, true}});
    EXPECT_EQ(isForeignProcessUsingMic(), true);
    EXPECT_TRUE(isMeetingMicActive());
    EXPECT_EQ(isAppUsingMic(500, "Google Chrome"), false);
}

TEST_F(MicUsageTest, UnreadableListFallsBackToTheDevices) {
    sim::World world = baseWorld();
    world.audioProcesses = std::nullopt;
    sim::setWorld(world);
    EXPECT_EQ(isForeignProcessUsingMic(), std::nullopt);
    EXPECT_TRUE(isMeetingMicActive());
    EXPECT_EQ(isAppUsingMic(500, "Google Chrome"), std::nullopt);
    EXPECT_TRUE(isMicAttributable(500, "Google Chrome"));
    world.devices = {microphone(90, false), {91, std::vector<std::uint32_t>{}, true}};
    sim::setWorld(world);
    EXPECT_FALSE(isMeetingMicActive()) << "a running output-only device is no microphone";
    EXPECT_EQ(sim::capturedStandardError(), "");
}

TEST_F(MicUsageTest, AnyMicStopsAtTheFirstRunningDevice) {
    sim::World world = baseWorld();
    world.devices = {microphone(90, false), microphone(91, true), microphone(92, true)};
    sim::setWorld(world);
    sim::recordHalCalls(true);
    EXPECT_TRUE(isAnyMicActive());
    for (const auto& call : sim::halCalls()) {
        EXPECT_FALSE(call.object == 92 && call.selector == platform::audio::selector::deviceIsRunningSomewhere);
    }
}

TEST_F(MicUsageTest, DeviceLevelModeAnswersFromDevicesAlone) {
    hasPerProcessInput = false;
    capture({capturing(10, hostPid)});
    sim::recordHalCalls(true);
    EXPECT_EQ(isAppUsingMic(500, "Google Chrome"), std::nullopt);
    EXPECT_TRUE(sim::halCalls().empty()) << "no query in device-level mode";
    EXPECT_TRUE(isMicAttributable(600, "Zoom"));
    EXPECT_TRUE(isMeetingMicActive()) << "whoever runs the device, the host included";
    EXPECT_EQ(sim::capturedStandardError(), "");
}

TEST_F(MicUsageTest, ApplicationCapturesThroughItsDescendants) {
    capture({capturing(10, 600), capturing(11, 501)});
    EXPECT_EQ(isAppUsingMic(500, "Google Chrome"), true);
    EXPECT_EQ(isAppUsingMic(600, "Zoom"), true);
    EXPECT_EQ(isAppUsingMic(3000, "Zoom"), false) << "own-process rules play no part here";
}

TEST_F(MicUsageTest, NotAttributableWritesOneLinePerCall) {
    capture({});
    EXPECT_EQ(isAppUsingMic(500, "Google Chrome"), false);
    EXPECT_FALSE(isMicAttributable(500, "Google Chrome"));
    EXPECT_FALSE(isMicAttributable(500, "Google Chrome"));
    const std::string line = std::string(stamp) + "Google Chrome isn't using the mic \xE2\x80\x94 not attributing to it";
    EXPECT_EQ(logLines(), (std::vector<std::string>{line, line}));
}

}  // namespace
}  // namespace observer::testing

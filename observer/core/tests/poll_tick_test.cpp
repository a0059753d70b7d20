#include "observer/core/poll_tick.h"
#include "observer/core/startup.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

constexpr Pid zoomPid = 700;
constexpr Pid strangerPid = 800;
const std::string zoomActive = R"({"event":"mic-active","app":"Zoom","pid":700,"title":"Zoom Meeting"})";
const std::string inactive = R"({"event":"mic-inactive","app":"","pid":0})";
const std::string heartbeat = R"({"event":"heartbeat"})";

// Zoom is frontmost with a meeting window; who captures the microphone varies.
sim::World worldWhereCapturing(std::vector<Pid> pids) {
    sim::World world;
    world.processes = {process(zoomPid, 1, "zoom.us"), process(strangerPid, 1, "recorder")};
    world.apps = {app("zoom.us", zoomPid, "us.zoom.xos")};
    world.frontmostPid = zoomPid;
    world.windows = std::vector<sim::Window>{window(zoomPid, "Zoom Meeting")};
    world.audioProcesses.emplace();
    platform::audio::ObjectId id = 10;
    for (const Pid pid : pids) world.audioProcesses->push_back(capturing(id++, pid));
    return world;
}

// The process-object list cannot be read; the devices answer instead.
sim::World worldWithoutProcessObjects(bool microphoneRunning) {
    sim::World world = worldWhereCapturing({});
    world.audioProcesses = std::nullopt;
    world.devices = {microphone(50, microphoneRunning)};
    return world;
}

class PollTickTest : public ObserverTest {
protected:
    std::vector<std::string> tick(const sim::World& world) {
        sim::setWorld(world);
        clearOutput();
        pollTick();
        return outputLines();
    }
    void expectIdle() {
        EXPECT_FALSE(emittedForCurrentSession);
        EXPECT_FALSE(micWasActive);
        EXPECT_FALSE(trackedApp);
    }
    void expectUnattributed() {
        EXPECT_FALSE(emittedForCurrentSession);
        EXPECT_TRUE(micWasActive);
        EXPECT_FALSE(trackedApp);
    }
    void expectTrackingZoom() {
        EXPECT_TRUE(emittedForCurrentSession);
        ASSERT_TRUE(trackedApp);
        EXPECT_EQ(trackedApp->pid, zoomPid);
        EXPECT_EQ(trackedApp->label, "Zoom");
    }
    void startTrackingZoom() {
        ASSERT_EQ(tick(worldWhereCapturing({zoomPid})), std::vector<std::string>{zoomActive});
        expectTrackingZoom();
    }
};

using Lines = std::vector<std::string>;

TEST_F(PollTickTest, IdleStaysIdleWhileTheMicrophoneIsSilent) {
    EXPECT_EQ(tick(worldWhereCapturing({})), Lines{});
    expectIdle();
}

TEST_F(PollTickTest, IdleToTrackingWhenDetectionNamesAnApplication) {
    startTrackingZoom();
    EXPECT_TRUE(micWasActive);
}

TEST_F(PollTickTest, UnattributedSessionKeepsDetectingAndEndsWithMicInactive) {
    EXPECT_EQ(tick(worldWhereCapturing({strangerPid})), Lines{});
    expectUnattributed();
    EXPECT_EQ(tick(worldWhereCapturing({strangerPid})), Lines{});
    expectUnattributed();
    EXPECT_EQ(tick(worldWhereCapturing({})), Lines{inactive});
    expectIdle();
}

TEST_F(PollTickTest, UnattributedToTrackingOnceDetectionSucceeds) {
    tick(worldWhereCapturing({strangerPid}));
    EXPECT_EQ(tick(worldWhereCapturing({strangerPid, zoomPid})), Lines{zoomActive});
    expectTrackingZoom();
}

TEST_F(PollTickTest, TrackingHoldsWhileTheTrackedApplicationCaptures) {
    startTrackingZoom();
    EXPECT_EQ(tick(worldWhereCapturing({zoomPid})), Lines{});
    expectTrackingZoom();
    // Another meeting application capturing changes nothing while Zoom still does.
    EXPECT_EQ(tick(worldWhereCapturing({strangerPid, zoomPid})), Lines{});
    expectTrackingZoom();
}

TEST_F(PollTickTest, TrackingHoldsWhileTheTrackedApplicationCapturesUncounted) {
    // Zoom runs inside the host's process tree: its capture is the application's, but no
    // foreign capture, so the microphone check answers false.
    sim::World world = worldWhereCapturing({zoomPid});
    world.processes = {process(hostPid, 1, "Host"), process(zoomPid, hostPid, "zoom.us")};
    startTrackingZoom();
    EXPECT_EQ(tick(world), Lines{});
    expectTrackingZoom();
    EXPECT_FALSE(micWasActive);
}

TEST_F(PollTickTest, TrackingEndsAtOnceWhenTheTrackedApplicationStopsWhileOthersCapture) {
    startTrackingZoom();
    EXPECT_EQ(tick(worldWhereCapturing({strangerPid})), Lines{inactive});
    expectUnattributed();
    // Still in use: detection runs again; nobody to name.
    EXPECT_EQ(tick(worldWhereCapturing({strangerPid})), Lines{});
    EXPECT_EQ(tick(worldWhereCapturing({})), Lines{inactive}) << "a second mic-inactive, no mic-active between";
    expectIdle();
}

TEST_F(PollTickTest, TrackingEndsWhenNothingCaptures) {
    startTrackingZoom();
    EXPECT_EQ(tick(worldWhereCapturing({})), Lines{inactive});
    expectIdle();
    EXPECT_EQ(tick(worldWhereCapturing({})), Lines{}) << "the session ends once";
}

TEST_F(PollTickTest, TrackingWithoutPerProcessAnswerFollowsTheMicrophone) {
    startTrackingZoom();
    EXPECT_EQ(tick(worldWithoutProcessObjects(true)), Lines{});
    expectTrackingZoom();
    EXPECT_EQ(tick(worldWithoutProcessObjects(false)), Lines{inactive});
    expectIdle();
}

TEST_F(PollTickTest, DeviceLevelTrackingEndsOnlyWithTheMicrophone) {
    hasPerProcessInput = false;
    sim::World running = worldWhereCapturing({});
    running.devices = {microphone(50, true)};
    EXPECT_EQ(tick(running), Lines{zoomActive});
    EXPECT_EQ(tick(running), Lines{});
    sim::World silent = running;
    silent.devices = {microphone(50, false)};
    EXPECT_EQ(tick(silent), Lines{inactive});
    expectIdle();
}

TEST_F(PollTickTest, TrackedPidIsTheOneFromTheEventNotFoundAfresh) {
    startTrackingZoom();
    // Zoom restarted under a new pid: the old pid no longer captures.
    sim::World restarted = worldWhereCapturing({701});
    restarted.processes.push_back(process(701, 1, "zoom.us"));
    restarted.apps = {app("zoom.us", 701)};
    restarted.frontmostPid = 701;
    EXPECT_EQ(tick(restarted), Lines{inactive});
    expectUnattributed();
}

TEST_F(PollTickTest, HeartbeatEveryFifteenTicksComesFirst) {
    startObserver();
    clearOutput();
    const sim::World silent = worldWhereCapturing({});
    sim::setWorld(silent);
    for (int k = 1; k < 15; ++k) sim::fireTimer();
    EXPECT_EQ(outputLines(), Lines{});
    sim::setWorld(worldWhereCapturing({zoomPid}));
    sim::fireTimer();
    EXPECT_EQ(outputLines(), (Lines{heartbeat, zoomActive}));
    EXPECT_EQ(heartbeatTicks, 0);
    clearOutput();
    for (int k = 1; k <= 15; ++k) sim::fireTimer();
    EXPECT_EQ(outputLines(), Lines{heartbeat});
}

TEST_F(PollTickTest, FirstTickComesOneIntervalAfterStartup) {
    startObserver();
    sim::setWorld(worldWhereCapturing({zoomPid}));
    clearOutput();
    sim::fireTimer();
    EXPECT_EQ(logLines().back(), "[09:30:01.000] EMIT -> " + zoomActive);
}

}  // namespace
}  // namespace observer::testing

#include "observer/core/startup.h"
#include "observer/core/event_stream.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

class StartupTest : public ObserverTest {
protected:
    void SetUp() override {
        ObserverTest::SetUp();
        // Startup must fill everything itself.
        ownAppPID = 0;
        hasPerProcessInput = false;
        meetingApps.clear();
        dedicatedMeetingApps.clear();
        browserMeetingApps.clear();
        meetingTitlePatterns.clear();
        nonMeetingInputServices.clear();
        micWasActive = true;
        emittedForCurrentSession = true;
        trackedApp = TrackedApp{9, "Zoom"};
        heartbeatTicks = 9;
    }
};

TEST_F(StartupTest, EmptyProcessObjectListMeansPerProcessMode) {
    startObserver();
    EXPECT_EQ(logLines(), std::vector<std::string>{std::string(stamp) +
                                                   "mic detection: per-process (ignoring own app, pid 3000)"});
    EXPECT_EQ(outputLines(), (std::vector<std::string>{R"({"event":"heartbeat"})",
                                                       R"({"event":"mic-mode","perProcess":true})"}));
    EXPECT_TRUE(hasPerProcessInput);
    EXPECT_EQ(ownAppPID, hostPid);
}

TEST_F(StartupTest, UnreadableProcessObjectListMeansDeviceLevelForTheWholeRun) {
    sim::World world;
    world.audioProcesses = std::nullopt;
    sim::setWorld(world);
    startObserver();
    EXPECT_EQ(logLines(), std::vector<std::string>{std::string(stamp) + "mic detection: device-level fallback"});
    EXPECT_EQ(outputLines()[1], R"({"event":"mic-mode","perProcess":false})");

    sim::setWorld(sim::World{});
    sim::fireTimer();
    EXPECT_FALSE(hasPerProcessInput) << "the mode is never revised";
}

TEST_F(StartupTest, FillsTheCatalogueResetsTheSessionAndSchedulesTheTick) {
    startObserver();
    EXPECT_EQ(meetingApps.size(), 11u);
    EXPECT_EQ(meetingApps.front().match, "zoom.us");
    EXPECT_EQ(meetingApps.back().label, "Brave");
    EXPECT_EQ(meetingTitlePatterns.front(), "Meet \xE2\x80\x93 ");
    EXPECT_EQ(meetingTitlePatterns.size(), 11u);
    EXPECT_EQ(nonMeetingInputServices, (LabelSet{"replayd", "corespeechd"}));
    for (const MeetingApp& row : meetingApps) {
        EXPECT_NE(dedicatedMeetingApps.contains(row.label), browserMeetingApps.contains(row.label)) << row.label;
    }
    EXPECT_FALSE(micWasActive);
    EXPECT_FALSE(emittedForCurrentSession);
    EXPECT_FALSE(trackedApp.has_value());
    EXPECT_EQ(heartbeatTicks, 0);
    EXPECT_TRUE(sim::timerScheduled());
    EXPECT_EQ(sim::timerInterval(), std::chrono::milliseconds(1000));
    EXPECT_TRUE(sim::interruptHandlerInstalled());
}

TEST_F(StartupTest, TheObserverEndsAtTheFirstTickAfterTheHostIsGone) {
    startObserver();
    sim::fireTimer();
    EXPECT_FALSE(sim::processEnded());
    clearOutput();

    // The host is gone: the observer is adopted, and a meeting is already running.
    sim::World world;
    world.processes = {process(700, 1, "zoom.us")};
    world.audioProcesses = std::vector<sim::AudioProcess>{capturing(20, 700)};
    world.apps = {app("zoom.us", 700)};
    world.frontmostPid = 700;
    sim::setWorld(world);
    sim::setObserverProcess(observerPid, 1);
    for (int tick = 0; tick < 15; ++tick) sim::fireTimer();  // a heartbeat would be due
    EXPECT_TRUE(sim::processEnded());
    EXPECT_EQ(ownAppPID, hostPid) << "the host's pid is kept";
    EXPECT_EQ(logLines(), std::vector<std::string>{"[09:30:02.000] host application (pid 3000) is gone \u2014 exiting"});
    EXPECT_TRUE(outputLines().empty()) << "no event after the host is gone";
}

}  // namespace
}  // namespace observer::testing

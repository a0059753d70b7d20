// quorvel end to end on Linux: real X server (bare, and with openbox), real PulseAudio,
// meeting applications played by meeting_actor. Each test checks the whole event
// stream and the whole diagnostic log, byte for byte apart from time stamps.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

// Chrome on a page that is no meeting, behind a text editor in front, and quorvel started;
// then a child of Chrome records, as the browser's audio service does.
struct ChromeBehindAnEditor {
    std::unique_ptr<Actor> chrome;
    std::unique_ptr<Actor> editor;
    bool recording = false;
};

ChromeBehindAnEditor chromeRecordingBehindAnEditor(ObserverSession& session) {
    ChromeBehindAnEditor desktop;
    desktop.chrome = session.actor();
    if (!desktop.chrome || !desktop.chrome->command("window google-chrome Google-chrome Weather - Google Chrome"))
        return desktop;
    desktop.editor = session.frontWindow("gedit", "Gedit", "notes.txt - Text Editor");
    desktop.recording = desktop.editor && session.startObserver() && desktop.chrome->command("record-child mic0");
    return desktop;
}

class ObserverTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers did not start"; }

    ObserverSession session{SessionSetup{GetParam(), true}};
};

std::string displayName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Openbox" : "NoWindowManager";
}

TEST_P(ObserverTest, DedicatedClientInFrontIsNamedWhileItRecords) {
    auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());

    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));

    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
    EXPECT_EQ(session.log(), zoomInFrontLog(session.host().process.pid(), zoom->pid));
}

TEST_P(ObserverTest, BrowserInTheBackgroundIsNamedByItsMeetingTitle) {
    auto desktop = chromeRecordingBehindAnEditor(session);
    ASSERT_TRUE(desktop.recording);
    auto& chrome = desktop.chrome;
    ASSERT_TRUE(session.waitForLog(3));
    session.letTicksPass(1);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode})) << "a page that is no meeting names nobody";

    const std::string title = "Meet - abc-defg-hij - Google Chrome";
    ASSERT_TRUE(chrome->command("title " + title));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Google Chrome", chrome->pid, title);
    ASSERT_TRUE(chrome->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));

    // Every tick without a meeting title examined the browser once, then the meeting was named.
    const Lines log = session.log();
    ASSERT_GE(log.size(), 5u);
    EXPECT_EQ(log.front(), modeLine(session.host().process.pid()));
    const std::string weather = "fallback candidate: Google Chrome " + dash + " \"Weather - Google Chrome\"";
    for (std::size_t i = 1; i + 2 < log.size(); ++i) EXPECT_EQ(log[i], weather) << "line " << i;
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"fallback candidate: Google Chrome " + dash + " \"" + title + "\"", "EMIT -> " + active}));
}

TEST_P(ObserverTest, KeepsWatchingTheMicrophoneWhenTheXServerGoesAway) {
    auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    session.stopXServer();

    // Without windows nobody can be named, but the session still ends when recording stops.
    ASSERT_TRUE(zoom->command("record mic0"));
    session.letTicksPass(2);
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, micInactive}));
    EXPECT_EQ(session.log(), Lines{modeLine(session.host().process.pid())});
}

INSTANTIATE_TEST_SUITE_P(Display, ObserverTest, ::testing::Values(false, true), displayName);

// Recording that is no meeting: a frontmost meeting client that does not record stands by,
// so that any recording taken for a foreign one would show in the log at once.
class IgnoredRecordingTest : public ObserverTest {
protected:
    void expectNothingThenZoom(Actor& zoom) {
        session.letTicksPass(3);
        EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode}));
        EXPECT_EQ(session.log(), Lines{modeLine(session.host().process.pid())});

        // The observer was watching all along: a foreign recording is seen at once.
        ASSERT_TRUE(zoom.command("record mic0"));
        ASSERT_TRUE(session.waitForEvents(3));
        EXPECT_EQ(session.events().back(), micActive("Zoom", zoom.pid, "Zoom Meeting"));
    }
};

TEST_P(IgnoredRecordingTest, HostAndItsChildrenRecordUnnoticed) {
    auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(session.host().command("record mic0"));
    ASSERT_TRUE(session.host().command("record-child mic0"));
    expectNothingThenZoom(*zoom);
}

TEST_P(IgnoredRecordingTest, SystemAudioServicesRecordUnnoticed) {
    auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
    auto replayd = session.actor("replayd");
    auto corespeechd = session.actor("corespeechd");
    ASSERT_TRUE(zoom && replayd && corespeechd);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(replayd->command("record mic0"));
    ASSERT_TRUE(corespeechd->command("record mic0"));
    expectNothingThenZoom(*zoom);
}

INSTANTIATE_TEST_SUITE_P(Display, IgnoredRecordingTest, ::testing::Values(false), displayName);

TEST(ObserverWithoutSoundServerTest, RunsDeviceLevelAndSeesTheServerOnceItComes) {
    ObserverSession session{SessionSetup{false, false}};
    ASSERT_TRUE(session.ready());
    auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    EXPECT_EQ(session.events(), (Lines{heartbeat, R"({"event":"mic-mode","perProcess":false})"}));
    // The log says why, once.
    const std::string unreachable =
        "sound server unreachable: no sound server at " + session.soundServerAddress() + " (Connection refused)";
    EXPECT_EQ(session.log(), (Lines{unreachable, "mic detection: device-level fallback"}));

    // Device level: any running microphone counts, and the frontmost client is trusted.
    ASSERT_TRUE(session.startSoundServer());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events(), (Lines{heartbeat, R"({"event":"mic-mode","perProcess":false})", active, micInactive}));
    EXPECT_EQ(session.log(), (Lines{unreachable, "mic detection: device-level fallback", "sound server reachable again",
                                    "frontmost: Zoom " + dash + " \"Zoom Meeting\"",
                                    "mic active + dedicated app " + dash + " attributing to Zoom",
                                    "EMIT -> " + active}));
}


TEST(ObserverWithoutDisplayTest, SaysOnceWhyThereAreNoWindowsAndKeepsWatchingTheMicrophone) {
    ObserverSession session{SessionSetup{false, true, false}};
    ASSERT_TRUE(session.ready());
    auto recorder = session.actor();
    ASSERT_TRUE(recorder);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(recorder->command("record mic0"));
    session.letTicksPass(2);
    ASSERT_TRUE(recorder->command("stop"));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, micInactive}));
    EXPECT_EQ(session.log(), (Lines{"X server unreachable: DISPLAY is not set", modeLine(session.host().process.pid())}));
}

// A server that stalls but keeps its connection is no lost server: quorvel answers from
// what it was told last, and its ticks go on.
class StalledServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers did not start"; }

    // Stops a server for a while, as a machine under load or a debugger would.
    static void stall(pid_t server, std::chrono::milliseconds duration) {
        ASSERT_GT(server, 0);
        ::kill(server, SIGSTOP);
        std::this_thread::sleep_for(duration);
        ::kill(server, SIGCONT);
    }

    std::size_t countLines(const std::string& line) const {
        const auto lines = session.log();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }

    ObserverSession session{SessionSetup{true, true}};
};

TEST_F(StalledServerTest, AStalledSoundServerNeitherEndsNorRepeatsAMeeting) {
    auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");

    stall(session.soundServerPid(), std::chrono::seconds(1));
    session.letTicksPass(1);
    stall(session.soundServerPid(), std::chrono::seconds(5));
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));

    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
}

TEST_F(StalledServerTest, AStalledXServerKeepsTheTicksGoing) {
    // A page that is no meeting records: every tick looks at the windows again.
    auto desktop = chromeRecordingBehindAnEditor(session);
    ASSERT_TRUE(desktop.recording);
    auto& chrome = desktop.chrome;
    const std::string weather = "fallback candidate: Google Chrome " + dash + " \"Weather - Google Chrome\"";
    ASSERT_TRUE(eventually([&] { return countLines(weather) >= 1; }, std::chrono::seconds(6)));

    const std::size_t before = countLines(weather);
    stall(session.xServerPid(), std::chrono::seconds(20));
    // One look per tick; a tick that waited for the server would make them a handful.
    EXPECT_GE(countLines(weather) - before, 12u);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode}));

    const std::string title = "Meet - abc-defg-hij - Google Chrome";
    ASSERT_TRUE(chrome->command("title " + title));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, micActive("Google Chrome", chrome->pid, title)}));
}

}  // namespace
}  // namespace e2e

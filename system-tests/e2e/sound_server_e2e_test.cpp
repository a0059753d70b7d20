// quorvel end to end on the sound servers that Linux desktops run: native PipeWire
// recorders beside PulseAudio-protocol ones, and restarts of the server while a meeting
// records. Each test runs against the server that QUORVEL_TEST_SOUND_STACK names; those
// about PipeWire alone say so in their names.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

class SoundServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers did not start"; }

    bool logHas(const std::string& line) const {
        const auto lines = session.log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool waitForLogLine(const std::string& line) const {
        return eventually([&] { return logHas(line); }, std::chrono::seconds(6));
    }

    // Zoom in front, recording as `command` says, named in a "mic-active".
    std::unique_ptr<Actor> zoomInAMeeting(const std::string& command) {
        auto zoom = session.frontWindow("zoom", "zoom", "Zoom Meeting");
        if (!zoom || !session.startObserver() || !zoom->command(command) || !session.waitForEvents(3)) return nullptr;
        return zoom;
    }

    ObserverSession session{SessionSetup{true, true}};
};

using PipeWireNativeRecorderTest = SoundServerTest;

TEST_F(PipeWireNativeRecorderTest, InADedicatedClientInFrontIsNamedWhileItRecords) {
    auto zoom = zoomInAMeeting("record-native mic0");
    ASSERT_TRUE(zoom);
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
    EXPECT_EQ(session.log(), zoomInFrontLog(session.host().process.pid(), zoom->pid));
}

TEST_F(PipeWireNativeRecorderTest, InABrowserBehindAnotherWindowIsNamedByItsMeetingTitle) {
    const std::string title = "Meet - abc-defg-hij - Google Chrome";
    auto chrome = session.actor();
    ASSERT_TRUE(chrome && chrome->command("window google-chrome Google-chrome " + title));
    auto editor = session.frontWindow("gedit", "Gedit", "notes.txt - Text Editor");
    ASSERT_TRUE(editor && session.startObserver());
    ASSERT_TRUE(chrome->command("record-native mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Google Chrome", chrome->pid, title);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    ASSERT_TRUE(chrome->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events().back(), micInactive);
}

// A PulseAudio-protocol client loses its stream with the server and opens one anew once
// the server is back, as browsers and meeting clients do: one meeting, not two.
TEST_F(SoundServerTest, ARecordingOpenedAnewAfterARestartKeepsItsSession) {
    auto zoom = zoomInAMeeting("record mic0");
    ASSERT_TRUE(zoom);
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(session.soundServer().restart());
    ASSERT_TRUE(zoom->command("stop") && zoom->command("record mic0"));
    ASSERT_TRUE(waitForLogLine("sound server reachable again"));
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));

    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
}

// A client that does not record again after the restart has ended its meeting, once.
TEST_F(SoundServerTest, ARecordingThatDoesNotComeBackAfterARestartEndsItsSessionOnce) {
    auto zoom = zoomInAMeeting("record mic0");
    ASSERT_TRUE(zoom);
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(session.soundServer().restart());
    ASSERT_TRUE(session.waitForEvents(4, std::chrono::seconds(8)));
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
    EXPECT_TRUE(logHas("sound server reachable again"));
}

using PipeWireRestartTest = SoundServerTest;

// A native PipeWire client records on while pipewire-pulse restarts: the mirror is lost
// and built again, and the meeting goes on as one.
TEST_F(PipeWireRestartTest, ANativeRecordingKeepsItsSessionThroughARestartOfPipewirePulse) {
    auto zoom = zoomInAMeeting("record-native mic0");
    ASSERT_TRUE(zoom);
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(session.soundServer().restart());
    ASSERT_TRUE(waitForLogLine("sound server reachable again"));
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));

    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
}

// WirePlumber 0.4 leaves the streams that recorded unlinked after it restarts (they
// stay corked, with no source): the meeting no longer records, and its session ends, once,
// while quorvel's own connection and its ticks go on.
TEST_F(PipeWireRestartTest, AStreamThatWirePlumberLeavesUnlinkedEndsItsSessionOnce) {
    auto zoom = zoomInAMeeting("record mic0");
    ASSERT_TRUE(zoom);
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    ASSERT_TRUE(session.soundServer().restartSessionManager());
    ASSERT_TRUE(session.waitForEvents(4));
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
    EXPECT_FALSE(logHas("sound server reachable again")) << "the connection to pipewire-pulse was never lost";
}

}  // namespace
}  // namespace e2e

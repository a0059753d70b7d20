// quorvel end to end in a Wayland session on a private headless sway, with native windows
// and XWayland ones. What quorvel knows of windows and focus comes from sway alone: from
// its IPC, or, for quorvel started without SWAYSOCK, from the toplevel list that sway
// offers as any wlroots compositor does, which tells no pids (each window's owner is then
// the running process of the program its app id's desktop entry starts: Zoom's entry
// starts "zoom"; or of a program named as the app id). The desktops that run sway run
// PipeWire, so these tests run on it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

enum class Source { swayIpc, toplevelList };

class WaylandSessionTest : public ::testing::Test {
protected:
    explicit WaylandSessionTest(Source source) : session(SessionSetup{false, true, true, true, source == Source::swayIpc}) {}
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers or sway did not start"; }

    bool logHas(const std::string& line) const {
        const auto lines = session.log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    ObserverSession session;
};

// What both sources must see alike.
class SwayOnPipeWireTest : public WaylandSessionTest, public ::testing::WithParamInterface<Source> {
protected:
    SwayOnPipeWireTest() : WaylandSessionTest(GetParam()) {}
    std::string compositorName() const { return GetParam() == Source::swayIpc ? "sway" : "Wayland compositor"; }
};

// sway's own IPC alone.
class SwayIpcOnPipeWireTest : public WaylandSessionTest {
protected:
    SwayIpcOnPipeWireTest() : WaylandSessionTest(Source::swayIpc) {}
};

TEST_P(SwayOnPipeWireTest, ANativeMeetingClientInFrontIsNamedWhileItRecords) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
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

// Firefox, a native client, records in a page titled as a meeting while an editor that
// was opened after it has the focus: found by its title in the window list.
TEST_P(SwayOnPipeWireTest, ANativeBrowserBehindAnEditorIsNamedByItsMeetingTitle) {
    const std::string title = "Meet - abc-defg-hij " + dash + " Mozilla Firefox";
    auto firefox = session.waylandWindow("firefox", "firefox", title);
    auto editor = session.waylandWindow("gedit", "org.gnome.gedit", "notes.txt - Text Editor");
    ASSERT_TRUE(firefox && editor);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(firefox->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Firefox", firefox->pid, title);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    EXPECT_EQ(session.log(), browserFoundBehindLog(session.host().process.pid(), "Firefox", firefox->pid, title));
}

// sway goes away while a meeting records, and comes back: the meeting, which never
// stopped recording, stays one session; the next time quorvel needs the windows, it says
// once that the compositor is back, and names the next meeting from the new sway's windows.
TEST_P(SwayOnPipeWireTest, AMeetingOutlivesARestartOfTheCompositor) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");

    ASSERT_TRUE(session.sway().restart());
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));

    // Its window went with the old sway.
    ASSERT_TRUE(zoom->command("wayland-window zoom Zoom Meeting") && zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(5));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive, active}));
    const auto log = session.log();
    const std::string name = compositorName();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(name + " ", 0) == 0; }),
              1)
        << "one line for the restart, none for the loss";
    EXPECT_TRUE(logHas(name + " reachable again"));
}

INSTANTIATE_TEST_SUITE_P(WindowSource, SwayOnPipeWireTest, ::testing::Values(Source::swayIpc, Source::toplevelList),
                         [](const ::testing::TestParamInfo<Source>& info) {
                             return std::string(info.param == Source::swayIpc ? "SwayIpc" : "ToplevelList");
                         });

// An XWayland editor in front of a native browser: one window list, in sway's order.
TEST_F(SwayIpcOnPipeWireTest, ANativeBrowserBehindAnXWaylandEditorIsNamedByItsMeetingTitle) {
    const std::string title = "Meet - abc-defg-hij " + dash + " Mozilla Firefox";
    auto firefox = session.waylandWindow("firefox", "firefox", title);
    auto editor = session.actor("gedit");
    ASSERT_TRUE(firefox && editor && editor->command("window gedit Gedit notes.txt - Text Editor"));
    ASSERT_TRUE(eventually([&] { return session.sway().command("[class=Gedit] focus"); }, std::chrono::seconds(5)))
        << "sway never showed the XWayland window";
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(firefox->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Firefox", firefox->pid, title);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    EXPECT_EQ(session.log(), browserFoundBehindLog(session.host().process.pid(), "Firefox", firefox->pid, title));
}

// An XWayland meeting client in front of a native window is the frontmost application.
TEST_F(SwayIpcOnPipeWireTest, AnXWaylandMeetingClientInFrontIsNamed) {
    auto editor = session.waylandWindow("gedit", "org.gnome.gedit", "notes.txt - Text Editor");
    auto zoom = session.actor("zoom");
    ASSERT_TRUE(editor && zoom && zoom->command("window zoom zoom Zoom Meeting"));
    ASSERT_TRUE(eventually([&] { return session.sway().command("[class=zoom] focus"); }, std::chrono::seconds(5)));
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    EXPECT_EQ(session.log(), zoomInFrontLog(session.host().process.pid(), zoom->pid));
}

// The editor in front records, and no window shows a meeting: nobody is named.
TEST_F(SwayIpcOnPipeWireTest, ANativeEditorInFrontRecordingIsNoMeeting) {
    auto firefox = session.waylandWindow("firefox", "firefox", "Mozilla Firefox");
    auto editor = session.waylandWindow("gedit", "org.gnome.gedit", "notes.txt - Text Editor");
    ASSERT_TRUE(firefox && editor);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(editor->command("record mic0"));
    ASSERT_TRUE(session.waitForLog(2));
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode}));
    // Each tick looks at the browser, whose title shows no meeting.
    auto log = session.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), modeLine(session.host().process.pid()));
    log.erase(log.begin());
    EXPECT_EQ(log, Lines(log.size(), "fallback candidate: Firefox " + dash + " \"Mozilla Firefox\""));
}

}  // namespace
}  // namespace e2e

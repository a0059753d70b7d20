// quorvel end to end on a private headless sway through its IPC, with native windows and
// XWayland ones mixed (what every Wayland desktop must see alike: wayland_e2e_test.cpp).
// The desktops that run sway run PipeWire, so these tests run on it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

class SwayIpcOnPipeWireTest : public ::testing::Test {
protected:
    SwayIpcOnPipeWireTest() : session(SessionSetup{.sway = true}) {}
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers or sway did not start"; }

    ObserverSession session;
};

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

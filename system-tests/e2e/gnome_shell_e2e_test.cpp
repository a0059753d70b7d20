// quorvel end to end in a GNOME Wayland session on a private headless GNOME Shell 43,
// with native windows: with quorvel's extension, what quorvel knows of windows and focus
// comes from its reports (Mutter's stacking order, the focus window, the pids Mutter
// knows); without it, quorvel sees no native window at all. The desktops that run GNOME
// run PipeWire, so these tests run on it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

class GnomeShellOnPipeWireTest : public ::testing::Test {
protected:
    explicit GnomeShellOnPipeWireTest(bool quorvelExtension = true)
        : session(SessionSetup{.gnomeShell = true, .quorvelExtension = quorvelExtension}) {}
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers or GNOME Shell did not start"; }

    ObserverSession session;
};

class GnomeShellWithoutTheExtensionOnPipeWireTest : public GnomeShellOnPipeWireTest {
protected:
    GnomeShellWithoutTheExtensionOnPipeWireTest() : GnomeShellOnPipeWireTest(false) {}
};

TEST_F(GnomeShellOnPipeWireTest, ANativeMeetingClientInFrontIsNamedWhileItRecords) {
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

// Firefox records in a page titled as a meeting while an editor opened after it has the
// focus: found by its title in the window list.
TEST_F(GnomeShellOnPipeWireTest, ANativeBrowserBehindANativeEditorIsNamedByItsMeetingTitle) {
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

// Zoom behind an editor records; the user brings it to the front: the change reaches
// quorvel in the extension's signal, and Zoom is named as the frontmost application.
TEST_F(GnomeShellOnPipeWireTest, AWindowTheUserActivatesIsInFront) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
    auto editor = session.waylandWindow("gedit", "org.gnome.gedit", "notes.txt - Text Editor");
    ASSERT_TRUE(zoom && editor);
    ASSERT_TRUE(session.gnomeShell().activate("Zoom Meeting"));
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, micActive("Zoom", zoom->pid, "Zoom Meeting")}));
    EXPECT_EQ(session.log(), zoomInFrontLog(session.host().process.pid(), zoom->pid));
}

// GNOME Shell goes away while a meeting records, and comes back: the meeting stays one
// session, quorvel says once that GNOME Shell is back and names the next meeting from the
// new shell's windows.
TEST_F(GnomeShellOnPipeWireTest, AMeetingOutlivesARestartOfGnomeShell) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");

    ASSERT_TRUE(session.gnomeShell().restart());
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));

    ASSERT_TRUE(zoom->command("wayland-window zoom Zoom Meeting") && zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(5));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive, active}));
    const auto log = session.log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.rfind("GNOME Shell ", 0) == 0; }),
              1)
        << "one line for the restart, none for the loss";
    EXPECT_NE(std::find(log.begin(), log.end(), "GNOME Shell reachable again"), log.end());
}

// Without the extension a native window has no title and no owner for quorvel: a meeting
// client in front that records is not named, and the log says why once.
TEST_F(GnomeShellWithoutTheExtensionOnPipeWireTest, ANativeMeetingClientIsNotSeenAndTheLogSaysWhy) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    session.letTicksPass(3);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode}));
    EXPECT_EQ(session.log(), (Lines{"GNOME Shell unreachable: quorvel's extension is not running in it "
                                    "(org.quorvel.ShellWindows is not on the session bus)",
                                    "X server unreachable: DISPLAY is not set",
                                    modeLine(session.host().process.pid())}));
}

}  // namespace
}  // namespace e2e

// quorvel end to end in a GNOME Wayland session on a private headless GNOME Shell 43,
// with native windows: a change of focus reaching quorvel in the extension's signal, and
// a GNOME Shell without quorvel's extension, under which quorvel sees no native window
// (what every Wayland desktop must see alike: wayland_e2e_test.cpp). The desktops that
// run GNOME run PipeWire, so these tests run on it alone.
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

// quorvel end to end in a GNOME Wayland session on a private headless GNOME Shell 43,
// with native windows and XWayland ones: a change of focus reaching quorvel in the
// extension's signal, both kinds of window in one list, and a GNOME Shell without
// quorvel's extension, under which quorvel sees no native window (what every Wayland
// desktop must see alike: wayland_e2e_test.cpp). The desktops that
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

// An XWayland editor on top of a native browser: one window list, in Mutter's stacking
// order, the editor's pid from its _NET_WM_PID.
TEST_F(GnomeShellOnPipeWireTest, XWaylandAndNativeWindowsAreOneList) {
    const std::string title = "Meet - abc-defg-hij " + dash + " Mozilla Firefox";
    auto firefox = session.waylandWindow("firefox", "firefox", title);
    auto editor = session.actor("gedit");
    ASSERT_TRUE(firefox && editor && editor->command("window gedit Gedit notes.txt - Text Editor"));
    ASSERT_TRUE(session.gnomeShell().activate("notes.txt - Text Editor"));
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(firefox->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, micActive("Firefox", firefox->pid, title)}));
    EXPECT_EQ(session.log(), browserFoundBehindLog(session.host().process.pid(), "Firefox", firefox->pid, title));
}

// Without the extension quorvel asks XWayland, as on any Wayland desktop it cannot ask: a
// native meeting client in front that records is not seen, and the log says why once; an
// XWayland one is.
TEST_F(GnomeShellWithoutTheExtensionOnPipeWireTest, OnlyXWaylandWindowsAreSeenAndTheLogSaysWhy) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    session.letTicksPass(3);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode}));
    EXPECT_EQ(session.log(), (Lines{"GNOME Shell unreachable: quorvel's extension is not running in it "
                                    "(org.quorvel.ShellWindows is not on the session bus)",
                                    modeLine(session.host().process.pid())}));

    auto xwaylandZoom = session.actor("zoom");
    ASSERT_TRUE(xwaylandZoom && xwaylandZoom->command("window zoom zoom Zoom Meeting (XWayland)"));
    ASSERT_TRUE(session.gnomeShell().activate("Zoom Meeting (XWayland)"));
    ASSERT_TRUE(xwaylandZoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode,
                                       micActive("Zoom", xwaylandZoom->pid, "Zoom Meeting (XWayland)")}));
}

}  // namespace
}  // namespace e2e

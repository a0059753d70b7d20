// quorvel end to end in a Wayland session, on every compositor quorvel asks for its
// windows, each private and headless: sway through its IPC, and through the toplevel
// list that sway offers as any wlroots compositor does (quorvel started without
// SWAYSOCK), which tells no pids (each window's owner is then the running process of the
// program its app id's desktop entry starts: Zoom's entry starts "zoom"; or of a program
// named as the app id); KWin through quorvel's script; GNOME Shell through quorvel's
// extension. What each must see alike is here; what only one can show is in its own file.
// The desktops that run these compositors run PipeWire, so these tests run on it alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

enum class Desktop { swayIpc, toplevelList, kwin, gnomeShell };

SessionSetup setupOf(Desktop desktop) {
    switch (desktop) {
        case Desktop::swayIpc: return {.sway = true};
        case Desktop::toplevelList: return {.sway = true, .observerHasSwaySocket = false};
        case Desktop::kwin: return {.kwin = true};
        case Desktop::gnomeShell: return {.gnomeShell = true};
    }
    return {};
}

class WaylandDesktopOnPipeWireTest : public ::testing::TestWithParam<Desktop> {
protected:
    WaylandDesktopOnPipeWireTest() : session(setupOf(GetParam())) {}
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers or the compositor did not start"; }

    // The compositor as quorvel's log names it.
    std::string compositorName() const {
        switch (GetParam()) {
            case Desktop::swayIpc: return "sway";
            case Desktop::toplevelList: return "Wayland compositor";
            case Desktop::kwin: return "KWin";
            case Desktop::gnomeShell: return "GNOME Shell";
        }
        return "";
    }

    ObserverSession session;
};

TEST_P(WaylandDesktopOnPipeWireTest, ANativeMeetingClientInFrontIsNamedWhileItRecords) {
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
TEST_P(WaylandDesktopOnPipeWireTest, ANativeBrowserBehindAnEditorIsNamedByItsMeetingTitle) {
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

// The compositor goes away while a meeting records, and comes back: the meeting, which
// never stopped recording, stays one session; the next time quorvel needs the windows, it
// says once that the compositor is back, and names the next meeting from the new
// compositor's windows.
TEST_P(WaylandDesktopOnPipeWireTest, AMeetingOutlivesARestartOfTheCompositor) {
    auto zoom = session.waylandWindow("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(zoom);
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string active = micActive("Zoom", zoom->pid, "Zoom Meeting");

    ASSERT_TRUE(session.restartCompositor());
    session.letTicksPass(2);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));
    ASSERT_TRUE(zoom->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));

    // Its window went with the old compositor.
    ASSERT_TRUE(zoom->command("wayland-window zoom Zoom Meeting") && zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(5));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive, active}));
    const auto log = session.log();
    const std::string name = compositorName();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(name + " ", 0) == 0; }),
              1)
        << "one line for the restart, none for the loss";
    EXPECT_TRUE(session.logHas(name + " reachable again"));
}

std::string nameOf(const ::testing::TestParamInfo<Desktop>& info) {
    switch (info.param) {
        case Desktop::swayIpc: return "SwayIpc";
        case Desktop::toplevelList: return "ToplevelList";
        case Desktop::kwin: return "KWin";
        case Desktop::gnomeShell: return "GnomeShell";
    }
    return "";
}

INSTANTIATE_TEST_SUITE_P(Compositor, WaylandDesktopOnPipeWireTest,
                         ::testing::Values(Desktop::swayIpc, Desktop::toplevelList, Desktop::kwin, Desktop::gnomeShell),
                         nameOf);

}  // namespace
}  // namespace e2e

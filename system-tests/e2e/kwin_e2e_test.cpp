// quorvel end to end in a KDE Plasma Wayland session on a private KWin (its virtual
// backend, with XWayland): native windows and XWayland ones in one list, and the script
// quorvel loads into KWin (what every Wayland desktop must see alike:
// wayland_e2e_test.cpp). The desktops that run KWin run PipeWire, so these tests run on
// it alone.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

using namespace std::chrono_literals;

class KWinOnPipeWireTest : public ::testing::Test {
protected:
    KWinOnPipeWireTest() : session(SessionSetup{.kwin = true}) {}
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers or KWin did not start"; }

    // quorvel, the host's only child.
    pid_t observerPid() {
        const pid_t host = session.host().process.pid();
        std::ifstream children("/proc/" + std::to_string(host) + "/task/" + std::to_string(host) + "/children");
        pid_t child = -1;
        children >> child;
        return child;
    }

    ObserverSession session;
};

// An XWayland editor on top of a native browser, and an XWayland meeting client on top of
// a native editor: one window list, in KWin's stacking order.
TEST_F(KWinOnPipeWireTest, XWaylandAndNativeWindowsAreOneList) {
    const std::string title = "Meet - abc-defg-hij " + dash + " Mozilla Firefox";
    auto firefox = session.waylandWindow("firefox", "firefox", title);
    auto editor = session.actor("gedit");
    ASSERT_TRUE(firefox && editor && editor->command("window gedit Gedit notes.txt - Text Editor"));
    ASSERT_TRUE(session.startObserver());
    ASSERT_TRUE(firefox->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    const std::string browser = micActive("Firefox", firefox->pid, title);
    EXPECT_EQ(session.log(), browserFoundBehindLog(session.host().process.pid(), "Firefox", firefox->pid, title));
    ASSERT_TRUE(firefox->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));

    auto zoom = session.actor("zoom");
    ASSERT_TRUE(zoom && zoom->command("window zoom zoom Zoom Meeting") && zoom->command("record mic0"));
    ASSERT_TRUE(session.waitForEvents(5));
    EXPECT_EQ(session.events(),
              (Lines{heartbeat, perProcessMode, browser, micInactive, micActive("Zoom", zoom->pid, "Zoom Meeting")}));
}

// quorvel ends without a word to KWin (a stop signal ends it at once): its script finds
// that nobody answers its reports any more and unloads itself.
TEST_F(KWinOnPipeWireTest, TheScriptOfAQuorvelThatIsGoneUnloadsItself) {
    auto editor = session.waylandWindow("gedit", "org.gnome.gedit", "notes.txt - Text Editor");
    ASSERT_TRUE(editor);
    ASSERT_TRUE(session.startObserver());
    const pid_t observer = observerPid();
    ASSERT_GT(observer, 0);
    const std::string plugin = "quorvel-" + std::to_string(observer);
    ASSERT_EQ(session.kwin().scriptLoaded(plugin), std::optional<bool>(true));

    ::kill(observer, SIGTERM);
    ASSERT_TRUE(session.host().command("wait-hosted 0"));
    int change = 0;
    EXPECT_TRUE(eventually(
        [&] {
            editor->command("title notes.txt (" + std::to_string(++change) + ") - Text Editor");
            return session.kwin().scriptLoaded(plugin) == std::optional<bool>(false);
        },
        10s))
        << "still loaded after " << change << " changes";
}

}  // namespace
}  // namespace e2e

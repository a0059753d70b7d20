// Hyprland's answers as the window list and the workspace see them, without Hyprland:
// answers shaped as Hyprland 0.40's `j/clients` and `j/monitors`, cut down to the members
// that are read. Hyprland does not run here (it is not in Debian 12), so these answers
// come from its documentation, not from a running Hyprland.
#include "observer/platform/linux/hyprland_clients.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "observer/platform/linux/window_report.h"

namespace observer::platform::hyprland {
namespace {

// Monitor DP-1 shows workspace 1 and the open special workspace -98; HDMI-A-1 shows
// workspace 3. Firefox (native) and an XWayland Zoom are on workspace 1, Zoom focused
// last, Firefox before it; a terminal is on hidden workspace 2; a scratch window is on
// the special workspace; a hidden window (a grouped tab behind another) is on workspace
// 3 and an editor beside it; a window that is not mapped yet is left out.
const std::string clients = R"([
  {"address": "0x5600a1", "mapped": true, "hidden": false, "workspace": {"id": 1, "name": "1"},
   "class": "firefox", "title": "Meet - abc-defg-hij \u2014 Mozilla Firefox", "pid": 100, "xwayland": false,
   "focusHistoryID": 1},
  {"address": "0x5600a2", "mapped": true, "hidden": false, "workspace": {"id": 2, "name": "2"},
   "class": "foot", "title": "~", "pid": 400, "xwayland": false, "focusHistoryID": 3},
  {"address": "0x5600a3", "mapped": true, "hidden": false, "workspace": {"id": 1, "name": "1"},
   "class": "zoom", "title": "Zoom Meeting", "pid": 300, "xwayland": true, "focusHistoryID": 0},
  {"address": "0x5600a4", "mapped": true, "hidden": false, "workspace": {"id": -98, "name": "special:scratch"},
   "class": "scratch", "title": "Scratch", "pid": 500, "xwayland": false, "focusHistoryID": 2},
  {"address": "0x5600a5", "mapped": true, "hidden": true, "workspace": {"id": 3, "name": "3"},
   "class": "org.gnome.gedit", "title": "Tab behind", "pid": 600, "xwayland": false, "focusHistoryID": 5},
  {"address": "0x5600a6", "mapped": true, "hidden": false, "workspace": {"id": 3, "name": "3"},
   "class": "org.gnome.gedit", "title": "notes.txt - Text Editor", "pid": 600, "xwayland": false,
   "focusHistoryID": 4},
  {"address": "0x5600a7", "mapped": false, "hidden": false, "workspace": {"id": 1, "name": "1"},
   "class": "splash", "title": "", "pid": 700, "xwayland": false, "focusHistoryID": -1}
])";
const std::string monitors = R"([
  {"name": "DP-1", "activeWorkspace": {"id": 1, "name": "1"}, "specialWorkspace": {"id": -98, "name": "special:scratch"}},
  {"name": "HDMI-A-1", "activeWorkspace": {"id": 3, "name": "3"}, "specialWorkspace": {"id": 0, "name": ""}}
])";

std::vector<std::string> titles(const compositor::View& view, const std::vector<std::size_t>& indexes) {
    std::vector<std::string> all;
    for (const std::size_t index : indexes) all.push_back(view.windows[index].title);
    return all;
}

TEST(HyprlandClientsTest, MappedWindowsInTheOrderMadeAndShownOnesInFocusOrder) {
    const auto report = reportOf(clients, monitors);
    ASSERT_TRUE(report);
    window_report::ReportReader reader;
    const auto view = reader.read(*report);
    ASSERT_TRUE(view);
    ASSERT_EQ(view->windows.size(), 6u) << "the window not mapped yet is left out";
    EXPECT_EQ(titles(*view, {0, 1, 2}),
              (std::vector<std::string>{"Meet - abc-defg-hij \xE2\x80\x94 Mozilla Firefox", "~", "Zoom Meeting"}));
    EXPECT_EQ(titles(*view, view->frontToBack),
              (std::vector<std::string>{"Zoom Meeting", "Meet - abc-defg-hij \xE2\x80\x94 Mozilla Firefox", "Scratch",
                                        "notes.txt - Text Editor"}))
        << "no hidden window, none on a workspace no monitor shows";
    ASSERT_TRUE(view->focused);
    EXPECT_EQ(view->windows[*view->focused].title, "Zoom Meeting");
    const auto& zoom = view->windows[2];
    EXPECT_EQ(zoom.appId, "zoom");
    EXPECT_EQ(zoom.instance, "") << "Hyprland tells no instance";
    EXPECT_EQ(zoom.pid, 300);
}

TEST(HyprlandClientsTest, WhatIsNoAnswerIsRefusedAndMalformedClientsAreSkipped) {
    for (const char* answer : {"", "unknown request", "{}", R"({"clients": []})"}) {
        EXPECT_FALSE(reportOf(answer, monitors)) << answer;
        EXPECT_FALSE(reportOf("[]", answer)) << answer;
    }
    const auto report = reportOf(R"([7, "x", {"mapped": true, "title": "no address"},
      {"address": "0x1", "mapped": true, "title": 5, "pid": "12", "workspace": 1, "focusHistoryID": "0"},
      {"address": "0x2", "mapped": true, "title": "B", "pid": -4, "workspace": {"id": 1}}])",
                                 R"([{"activeWorkspace": {"id": 1}}, 3])");
    ASSERT_TRUE(report);
    window_report::ReportReader reader;
    const auto view = reader.read(*report);
    ASSERT_TRUE(view);
    ASSERT_EQ(view->windows.size(), 2u);
    EXPECT_EQ(view->windows[0].title, "");
    EXPECT_FALSE(view->windows[0].pid);
    EXPECT_FALSE(view->windows[0].onScreen) << "a workspace that is no object";
    EXPECT_FALSE(view->windows[1].pid) << "no negative pid";
    EXPECT_EQ(view->frontToBack, std::vector<std::size_t>{1});
    EXPECT_FALSE(view->focused) << "no window was focused";
}

}  // namespace
}  // namespace observer::platform::hyprland

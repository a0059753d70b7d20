// sway's tree as the window list and the workspace see it, without sway: trees shaped as
// sway 1.7 sends them, cut down to the members that are read.
#include "observer/platform/linux/sway_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace observer::platform::sway {
namespace {

// Workspace 1 on screen holds a split with Firefox (native) and an editor, the editor
// focused after Firefox, and a floating Zoom (XWayland) that has the focus now; workspace
// 2 is hidden and holds a terminal; the scratchpad holds a window never on screen.
const std::string desktop = R"({
  "id": 1, "type": "root", "focus": [3, 2147483647],
  "nodes": [
    {"id": 2147483647, "type": "output", "name": "__i3", "focus": [2147483646], "nodes": [
      {"id": 2147483646, "type": "workspace", "name": "__i3_scratch", "focus": [20], "nodes": [],
       "floating_nodes": [
         {"id": 20, "type": "floating_con", "name": "Scratch", "app_id": "scratch", "shell": "xdg_shell",
          "pid": 500, "visible": false, "focused": false, "focus": [], "nodes": []}]}]},
    {"id": 3, "type": "output", "name": "HEADLESS-1", "focus": [4, 9], "nodes": [
      {"id": 4, "type": "workspace", "name": "1", "focus": [13, 5], "nodes": [
        {"id": 5, "type": "con", "layout": "splith", "focus": [7, 6], "nodes": [
          {"id": 6, "type": "con", "name": "Meet - abc-defg-hij \u2014 Mozilla Firefox", "app_id": "firefox",
           "shell": "xdg_shell", "pid": 100, "visible": true, "focused": false, "focus": [], "nodes": []},
          {"id": 7, "type": "con", "name": "notes.txt - Text Editor", "app_id": "org.gnome.gedit",
           "shell": "xdg_shell", "pid": 200, "visible": true, "focused": false, "focus": [], "nodes": []}]}],
       "floating_nodes": [
         {"id": 13, "type": "floating_con", "name": "Zoom Meeting", "app_id": null, "shell": "xwayland",
          "window_properties": {"class": "zoom", "instance": "zoom", "title": "Zoom Meeting"},
          "pid": 300, "visible": true, "focused": true, "focus": [], "nodes": []}]},
      {"id": 9, "type": "workspace", "name": "2", "focus": [10], "nodes": [
        {"id": 10, "type": "con", "name": "~", "app_id": "foot", "shell": "xdg_shell",
         "pid": 400, "visible": false, "focused": false, "focus": [], "nodes": []}]}]}]
})";

std::vector<std::string> titlesFrontToBack(const compositor::View& view) {
    std::vector<std::string> titles;
    for (const std::size_t index : view.frontToBack) titles.push_back(view.windows[index].title);
    return titles;
}

TEST(SwayTreeTest, WindowsInTheOrderMadeAndOnScreenOnesInFocusOrder) {
    const auto view = viewOfTree(desktop);
    ASSERT_TRUE(view);
    std::vector<std::uint64_t> ids;
    for (const auto& window : view->windows) ids.push_back(window.id);
    EXPECT_EQ(ids, (std::vector<std::uint64_t>{6, 7, 10, 13, 20}));
    // Zoom was focused after the split on its workspace; within the split the editor was
    // focused after Firefox. Hidden and scratchpad windows are not on screen.
    EXPECT_EQ(titlesFrontToBack(*view),
              (std::vector<std::string>{"Zoom Meeting", "notes.txt - Text Editor",
                                        "Meet - abc-defg-hij \xE2\x80\x94 Mozilla Firefox"}));
    ASSERT_TRUE(view->focused);
    EXPECT_EQ(view->windows[*view->focused].title, "Zoom Meeting");
}

TEST(SwayTreeTest, NativeWindowsNameTheirAppIdAndXWaylandOnesTheirClass) {
    const auto view = viewOfTree(desktop);
    ASSERT_TRUE(view);
    const auto& firefox = view->windows[0];
    EXPECT_EQ(firefox.appId, "firefox");
    EXPECT_EQ(firefox.instance, "");
    EXPECT_EQ(firefox.pid, 100);
    const auto& zoom = view->windows[3];
    EXPECT_EQ(zoom.appId, "zoom");
    EXPECT_EQ(zoom.instance, "zoom");
    EXPECT_EQ(zoom.pid, 300);
    EXPECT_TRUE(zoom.onScreen);
    EXPECT_FALSE(view->windows[2].onScreen);
}

TEST(SwayTreeTest, AnEmptyDesktopHasNoWindowAndNoFocus) {
    const auto view = viewOfTree(R"({"id": 1, "type": "root", "focus": [3], "nodes": [
        {"id": 3, "type": "output", "focus": [4], "nodes": [
          {"id": 4, "type": "workspace", "focused": true, "focus": [], "nodes": [], "floating_nodes": []}]}]})");
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->windows.empty());
    EXPECT_TRUE(view->frontToBack.empty());
    EXPECT_FALSE(view->focused) << "a focused workspace is no window";
}

TEST(SwayTreeTest, AnythingButARootIsNoTree) {
    EXPECT_FALSE(viewOfTree(""));
    EXPECT_FALSE(viewOfTree("{\"id\": 1, \"type\": \"root\""));
    EXPECT_FALSE(viewOfTree(R"([{"success": true}])"));
    EXPECT_FALSE(viewOfTree(R"({"id": 4, "type": "workspace", "nodes": []})"));
}

TEST(SwayTreeTest, MembersOfTheWrongKindAreSkippedNotTrusted) {
    const auto view = viewOfTree(R"({"id": 1, "type": "root", "focus": ["x", 2], "nodes": [
        {"id": 2, "type": "con", "name": 5, "app_id": ["a"], "pid": 7, "visible": "yes", "nodes": []},
        {"id": 3, "type": "con", "name": "no pid", "pid": "8", "nodes": []},
        "not a node"]})");
    ASSERT_TRUE(view);
    ASSERT_EQ(view->windows.size(), 1u);
    EXPECT_EQ(view->windows[0].title, "");
    EXPECT_EQ(view->windows[0].appId, "");
    EXPECT_EQ(view->windows[0].pid, 7);
    EXPECT_FALSE(view->windows[0].onScreen);
}

}  // namespace
}  // namespace observer::platform::sway

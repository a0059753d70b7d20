// Window reports as the window list and the workspace see them, without a compositor:
// documents shaped as the KWin script and the GNOME Shell extension send them, with the
// values KWin 5.27 gives.
#include "observer/platform/linux/window_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "observer/platform/linux/kwin_script.h"

namespace observer::platform::window_report {
namespace {

// Zoom (native) was made first and is at the bottom; Firefox (native) is above it; an
// XWayland editor is on top and active; a terminal on another desktop is above them all
// in KWin's stacking order, and a minimised window is next to it.
const std::string desktop = R"({"active": "{c3}", "windows": [
  {"id": "{a1}", "title": "Zoom Meeting", "class": "zoom", "instance": "", "x11": false, "pid": 300,
   "onScreen": true, "stacking": 0},
  {"id": "{b2}", "title": "Meet - abc-defg-hij \u2014 Mozilla Firefox", "class": "firefox", "instance": "",
   "x11": false, "pid": 100, "onScreen": true, "stacking": 1},
  {"id": "{c3}", "title": "notes.txt - gedit", "class": "gedit", "instance": "gedit", "x11": true, "pid": 0,
   "onScreen": true, "stacking": 2},
  {"id": "{d4}", "title": "~", "class": "org.kde.konsole", "instance": "konsole", "x11": false, "pid": 400,
   "onScreen": false, "stacking": 4},
  {"id": "{e5}", "title": "Hidden", "class": "hidden", "instance": "", "x11": false, "pid": 500,
   "onScreen": false, "stacking": 3}
]})";

std::vector<std::string> titlesFrontToBack(const compositor::View& view) {
    std::vector<std::string> titles;
    for (const std::size_t index : view.frontToBack) titles.push_back(view.windows[index].title);
    return titles;
}

std::vector<std::string> titles(const compositor::View& view) {
    std::vector<std::string> all;
    for (const auto& window : view.windows) all.push_back(window.title);
    return all;
}

TEST(WindowReportTest, WindowsInTheOrderReportedAndOnScreenOnesInStackingOrder) {
    ReportReader reader;
    const auto view = reader.read(desktop);
    ASSERT_TRUE(view);
    EXPECT_EQ(titles(*view), (std::vector<std::string>{"Zoom Meeting", "Meet - abc-defg-hij \xE2\x80\x94 Mozilla Firefox",
                                                       "notes.txt - gedit", "~", "Hidden"}));
    EXPECT_EQ(titlesFrontToBack(*view),
              (std::vector<std::string>{"notes.txt - gedit", "Meet - abc-defg-hij \xE2\x80\x94 Mozilla Firefox",
                                        "Zoom Meeting"}));
    ASSERT_TRUE(view->focused);
    EXPECT_EQ(view->windows[*view->focused].title, "notes.txt - gedit");

    const auto& zoom = view->windows[0];
    EXPECT_EQ(zoom.appId, "zoom");
    EXPECT_EQ(zoom.instance, "") << "a native window has no instance";
    EXPECT_EQ(zoom.pid, 300);
    const auto& editor = view->windows[2];
    EXPECT_EQ(editor.appId, "gedit");
    EXPECT_EQ(editor.instance, "gedit");
    EXPECT_FALSE(editor.pid) << "KWin says 0 where it does not know the pid";
    EXPECT_EQ(view->windows[3].instance, "") << "an instance counts for XWayland windows only";
}

// A window keeps its number while it lives, so the list keeps the order windows were made
// in; a window that closes and a new one that opens take no number of another's.
TEST(WindowReportTest, WindowsKeepTheirNumbersFromReportToReport) {
    ReportReader reader;
    const auto first = reader.read(R"({"active": null, "windows": [
      {"id": "{a}", "title": "A", "onScreen": true, "stacking": 0},
      {"id": "{b}", "title": "B", "onScreen": true, "stacking": 1}]})");
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->focused) << "no window is active";
    // KWin's list may come in another order; {a} is gone, {c} is new.
    const auto second = reader.read(R"({"active": "{c}", "windows": [
      {"id": "{c}", "title": "C", "onScreen": true, "stacking": 2},
      {"id": "{b}", "title": "B", "onScreen": true, "stacking": 1}]})");
    ASSERT_TRUE(second);
    EXPECT_EQ(titles(*second), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(second->windows[0].id, first->windows[1].id);
    EXPECT_GT(second->windows[1].id, first->windows[1].id);
    ASSERT_TRUE(second->focused);
    EXPECT_EQ(second->windows[*second->focused].title, "C");

    reader.forget();
    const auto afresh = reader.read(R"({"windows": [{"id": "{b}", "title": "B"}]})");
    ASSERT_TRUE(afresh);
    EXPECT_EQ(afresh->windows[0].id, 1u) << "numbered afresh after a new connection";
}

TEST(WindowReportTest, WhatIsNoReportIsRefusedAndMalformedWindowsAreSkipped) {
    ReportReader reader;
    for (const char* document : {"", "not json", "[]", "{}", R"({"windows": {}})", R"({"windows": "x"})"})
        EXPECT_FALSE(reader.read(document)) << document;

    const auto view = reader.read(R"({"active": 7, "windows": [
      7, "x", {"title": "no id"}, {"id": "", "title": "empty id"},
      {"id": "{a}", "title": 5, "class": null, "pid": "12", "onScreen": "yes", "stacking": "top"},
      {"id": "{a}", "title": "the same id again"},
      {"id": "{b}", "title": "B", "pid": 4294967296, "onScreen": true}]})");
    ASSERT_TRUE(view);
    ASSERT_EQ(view->windows.size(), 2u);
    EXPECT_EQ(view->windows[0].title, "");
    EXPECT_EQ(view->windows[0].appId, "");
    EXPECT_FALSE(view->windows[0].pid);
    EXPECT_FALSE(view->windows[0].onScreen);
    EXPECT_FALSE(view->windows[1].pid) << "no pid out of range";
    EXPECT_EQ(view->frontToBack, std::vector<std::size_t>{1});
    EXPECT_FALSE(view->focused) << "an active window named by no string";
}

}  // namespace
}  // namespace observer::platform::window_report

namespace observer::platform::kwin {
namespace {

// The values quorvel fills into the script are JavaScript string literals, whatever they hold.
TEST(KWinScriptTest, TheReceiverAndPluginNameAreStringLiterals) {
    const std::string script = scriptSource(":1.42", "quorvel-\"7\"\n");
    EXPECT_NE(script.find("var receiver = \":1.42\";\n"), std::string::npos);
    EXPECT_NE(script.find("var pluginName = \"quorvel-\\\"7\\\"\\n\";\n"), std::string::npos);
    EXPECT_NE(script.find("var reportPath = \"/org/quorvel/KWinWindows\";\n"), std::string::npos);
}

}  // namespace
}  // namespace observer::platform::kwin

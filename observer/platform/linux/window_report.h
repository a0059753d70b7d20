// The window reports that quorvel's code inside a compositor sends (the KWin script, the
// GNOME Shell extension) as the compositor's view of the windows. Both send one JSON
// document: {"active": ID or null, "windows": [{"id", "title", "class", "instance", "x11",
// "pid", "onScreen", "stacking"}, ...]}, where an id is the compositor's own (a string)
// and "stacking" a window's place in the compositor's stacking order, higher nearer the
// top.
//
// A pid of 0 means the compositor does not know it. A native window's class is its app
// id; an XWayland window's class and instance are its WM_CLASS. What is in front follows
// the stacking order, topmost first, among the windows on screen; the focused window is
// the compositor's active one.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::window_report {

class ReportReader {
public:
    // Nothing for a document that is no report; the last good view stays the caller's.
    std::optional<compositor::View> read(std::string_view document);
    // A new connection's windows are numbered afresh.
    void forget();

private:
    // The compositors' ids are strings (KWin's are UUIDs); the view's are numbers in the
    // order the windows were first reported, which is the order they were made in.
    std::map<std::string, std::uint64_t, std::less<>> numbers_;
    std::uint64_t nextNumber_ = 1;
};

// The reports a connection receives, read when the view is asked for: of the reports
// that arrive between two reads only the last is read.
class ReportedWindows {
public:
    void received(std::string document) { unread_ = std::move(document); }
    bool anyReceived() const { return unread_.has_value() || view_.has_value(); }
    // The view after the last good report; nothing before the first.
    const compositor::View* view();
    // For a new connection, whose windows are numbered afresh.
    void forget();

private:
    ReportReader reader_;
    std::optional<std::string> unread_;
    std::optional<compositor::View> view_;
    std::uint64_t version_ = 0;  // never reset: a new view is always a change
};

}  // namespace observer::platform::window_report

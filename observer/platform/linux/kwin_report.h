// The reports of quorvel's KWin script (kwin_script.h) as the compositor's view of the
// windows.
//
// KWin tells each window's pid, from the Wayland client's credentials or an X window's
// _NET_WM_PID: nothing where it says 0. A native window's class is its app id; an
// XWayland window's class and instance are its WM_CLASS, which KWin gives in lower case.
// What is in front follows KWin's stacking order, topmost first, among the windows on
// screen; the focused window is KWin's active one.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::kwin {

class ReportReader {
public:
    // Nothing for a document that is no report; the last good view stays the caller's.
    std::optional<compositor::View> read(std::string_view document);
    // A new connection's windows are numbered afresh.
    void forget();

private:
    // KWin's ids are UUIDs; the view's ids are numbers in the order the windows were first
    // reported, which is the order KWin made them in.
    std::map<std::string, std::uint64_t, std::less<>> numbers_;
    std::uint64_t nextNumber_ = 1;
};

}  // namespace observer::platform::kwin

// Hyprland's answers to `j/clients` and `j/monitors` as a window report (window_report.h).
//
// Hyprland lists its windows ("clients") in the order it made them, each with its pid,
// class (a native window's app id, an XWayland window's WM_CLASS class: Hyprland tells no
// instance), title, workspace, whether it is hidden or mapped, and its place in the focus
// history ("focusHistoryID", 0 for the window focused last). A window is on screen when it
// is mapped, not hidden, and on a workspace that a monitor shows (its active or its open
// special workspace). Hyprland's IPC tells no stacking order: what is in front is what
// was focused last, as under sway, and the window focused last is the focused one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace observer::platform::hyprland {

// Nothing when either answer is not what Hyprland sends.
std::optional<std::string> reportOf(std::string_view clients, std::string_view monitors);

}  // namespace observer::platform::hyprland

// The windows of a Wayland session as its compositor tells them. Core Wayland shows a
// client no other client's windows, so each compositor is asked in its own way (sway's
// and Hyprland's IPC, a script loaded into KWin, quorvel's GNOME Shell extension, the
// wlroots toplevel list); each source turns its answer into this one view. A compositor sees the XWayland
// windows too, so when the session has a compositor source it is the only source of
// windows, and the X server is not asked for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace observer::platform::compositor {

struct Toplevel {
    std::uint64_t id = 0;  // the compositor's own, in the order the windows were made
    std::string title;
    std::string appId;     // a native window's app id; an XWayland window's class
    std::string instance;  // an XWayland window's instance; empty for a native window
    std::optional<std::int32_t> pid;  // nothing where the compositor does not tell it
    bool onScreen = false;
};

struct View {
    std::vector<Toplevel> windows;          // in the order they were made
    std::vector<std::size_t> frontToBack;   // the on-screen ones, topmost first
    std::optional<std::size_t> focused;     // the window with the keyboard focus
    std::uint64_t version = 0;              // changes whenever anything above may have
};

// Whether this session's windows come from a compositor: SWAYSOCK names sway's IPC, or
// the compositor on WAYLAND_DISPLAY lists its toplevels.
bool sessionHasCompositorSource();

// The compositor's view after taking in what it has sent, or nothing while it cannot be
// reached. Valid until the next call.
const View* currentView();

// Takes in what the compositor has sent since the last call, without connecting or
// waiting; called once per tick.
void takeInArrived();

}  // namespace observer::platform::compositor

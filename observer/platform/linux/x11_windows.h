// What the window list and the workspace ask of the X server about top-level client
// windows: which exist, which are on screen, who owns them and what they are called,
// all answered from the mirror of the server's state. With an EWMH window manager the
// manager's lists are the source; without one, the root window's children.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "observer/platform/linux/x11_mirror.h"
#include "observer/platform/window_list.h"

namespace observer::platform::x11 {

// The window manager's check window names itself: then its lists can be trusted.
bool hasWindowManager(const View& view);

// Client windows in creation order (without a manager, in window-id order, which
// follows creation), whatever their state or desktop.
std::vector<xcb_window_t> clientWindows(const View& view);

// The client windows that a user can see, topmost first: viewable, not minimised, on
// the current desktop or on all desktops, and neither the desktop nor a dock.
std::vector<xcb_window_t> onScreenWindows(const View& view);

// The window that receives key events, as the window manager reports it or, without
// one, the top-level window holding the input focus.
std::optional<xcb_window_t> activeWindow(const View& view);

// The mirror's record of a window; nothing for a window that is gone.
const WindowState* windowState(const View& view, xcb_window_t window);

// The pid of the process that made the window, as the server knows it from the
// client's socket or, failing that, as the window claims it. A window that is gone has
// no owner.
WindowOwnerPid ownerPid(const View& view, xcb_window_t window);
WindowOwnerPid ownerPid(const WindowState& state);

// The window's title as valid UTF-8.
WindowName windowName(const View& view, xcb_window_t window);
WindowName windowName(const View& view, const WindowState& state);

struct WindowClass {
    std::string instance;
    std::string className;
};
std::optional<WindowClass> windowClass(const View& view, xcb_window_t window);

}  // namespace observer::platform::x11

// What the window list and the workspace ask of the X server about top-level client
// windows: which exist, which are on screen, who owns them and what they are called.
// With an EWMH window manager the manager's lists are the source; without one, the
// root window's children.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "observer/platform/linux/x11_connection.h"
#include "observer/platform/window_list.h"

namespace observer::platform::x11 {

// The window manager's check window names itself: then its lists can be trusted.
bool hasWindowManager(const Session& session);

// Client windows in creation order (without a manager, in window-id order, which
// follows creation), whatever their state or desktop.
std::vector<xcb_window_t> clientWindows(const Session& session);

// The client windows that a user can see, topmost first: viewable, not minimised, on
// the current desktop or on all desktops, and neither the desktop nor a dock.
std::vector<xcb_window_t> onScreenWindows(const Session& session);

// The window that receives key events, as the window manager reports it or, without
// one, the top-level window holding the input focus.
std::optional<xcb_window_t> activeWindow(const Session& session);

// Owner pids of many windows at once.
std::vector<WindowOwnerPid> ownerPids(const Session& session, const std::vector<xcb_window_t>& windows);

// The window's title as valid UTF-8.
WindowName windowName(const Session& session, xcb_window_t window);

struct WindowClass {
    std::string instance;
    std::string className;
};
std::optional<WindowClass> windowClass(const Session& session, xcb_window_t window);

}  // namespace observer::platform::x11

// A mirror of what the window list and the workspace need from the X server, kept
// current by the server's own events: the window manager's check window, client lists,
// active window and current desktop on the root; the root's children in stacking order
// with the input focus, for desktops without a manager; and, per window, its map state,
// the properties that name and place it, and its owner pid as the X resource extension
// tells it (asked once per window for its life).
//
// Each call dispatches what has already arrived, without waiting for more; the only
// waits are bounded ones for the answers to requests that events made necessary. A
// server that stalls keeps its last state in the mirror; a lost connection drops it,
// and the next call connects again and rebuilds it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "observer/platform/linux/x11_connection.h"
#include "observer/platform/linux/x11_stacking.h"
#include "observer/platform/window_list.h"

namespace observer::platform::x11 {

struct WindowState {
    bool rootChild = false;
    bool attributesKnown = false;
    bool overrideRedirect = false;
    bool inputOnly = false;
    bool mapped = false;
    std::optional<Property> netName, legacyName, wmClass, netPid, netState, netDesktop, netType;
    std::optional<std::int32_t> resourcePid;
    // The title as valid UTF-8, decoded once per change of either name property.
    mutable std::optional<WindowName> decodedName;
};

struct Mirror {
    std::optional<Property> wmCheck, clientList, clientListStacking, activeWindow, currentDesktop;
    // The check window's own _NET_SUPPORTING_WM_CHECK.
    xcb_window_t checkWindow = XCB_WINDOW_NONE;
    std::optional<Property> checkWindowClaim;
    StackingOrder rootChildren;
    std::optional<xcb_window_t> focusedTopLevel;
    std::unordered_map<xcb_window_t, WindowState> windows;
};

struct View {
    const Session& session;
    const Mirror& mirror;
    // Changes whenever anything in the mirror may have changed, a rebuilt one included:
    // what was worked out from a view of the same version still holds, and pointers
    // into it are still good.
    std::uint64_t version;
};

// The mirror after dispatching what has arrived, or nothing without a server or while
// it is still being built. Valid until the next call.
std::optional<View> currentView();
// The same, sharing a read made in the last few milliseconds: for the questions about
// single entries of a list just copied, which then cost no system call each.
std::optional<View> recentView();

// Takes in what the server has sent since the last call, when a mirror is kept, without
// connecting or waiting. Called once per tick, so that the server's events do not pile up
// (in its buffers and then in one burst here) while the rules ask nothing of the windows,
// as during a meeting.
void takeInArrived();

// One round trip: every change that the server had made when this was called is in
// the mirror when it returns true. For callers that changed the server themselves.
bool synchronize(std::chrono::milliseconds timeout);

// Runs `query` on the mirror, or answers `fallback` without one.
template <typename Result, typename Query>
Result ask(Result fallback, Query query) {
    const auto view = currentView();
    if (!view) return fallback;
    return query(*view);
}

template <typename Result, typename Query>
Result askRecent(Result fallback, Query query) {
    const auto view = recentView();
    if (!view) return fallback;
    return query(*view);
}

}  // namespace observer::platform::x11

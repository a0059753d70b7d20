// The connection to the X server (XWayland included) that the window list and the
// workspace ask, over xcb: unlike Xlib, xcb reports a broken connection as a value and
// never ends the process.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace observer::platform::x11 {

struct Atoms {
    xcb_atom_t utf8String;
    xcb_atom_t compoundText;
    xcb_atom_t netSupportingWmCheck;
    xcb_atom_t netClientList;
    xcb_atom_t netClientListStacking;
    xcb_atom_t netActiveWindow;
    xcb_atom_t netCurrentDesktop;
    xcb_atom_t netWmDesktop;
    xcb_atom_t netWmState;
    xcb_atom_t netWmStateHidden;
    xcb_atom_t netWmWindowType;
    xcb_atom_t netWmWindowTypeDesktop;
    xcb_atom_t netWmWindowTypeDock;
    xcb_atom_t netWmPid;
    xcb_atom_t netWmName;
};

struct Session {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    Atoms atoms{};
    // The X resource extension can tell a window's owner pid from the socket's credentials.
    bool hasResourcePids = false;
};

// The open session, or nothing without DISPLAY or a reachable server. A connection that
// broke since the last call is closed and opened again.
Session* session();

// Runs `query` on the session and answers its result, or `fallback` without a server.
// A broken connection shows only when it is used, so a query that broke it runs once
// more on a fresh connection: a server that restarted since the last call still answers.
template <typename Result, typename Query>
Result ask(Result fallback, Query query) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Session* open = session();
        if (open == nullptr) break;
        Result result = query(*open);
        if (xcb_connection_has_error(open->connection) == 0) return result;
    }
    return fallback;
}

// A property's raw value: its type, format (8, 16 or 32) and bytes. Nothing when the
// window has no such property or the request failed.
struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    std::string bytes;

    std::vector<std::uint32_t> cardinals() const;  // format-32 values
};

// Requests go out first and replies are collected after, so asking for many windows
// costs one round trip.
xcb_get_property_cookie_t requestProperty(const Session& session, xcb_window_t window, xcb_atom_t property);
std::optional<Property> property(const Session& session, xcb_get_property_cookie_t cookie);

}  // namespace observer::platform::x11

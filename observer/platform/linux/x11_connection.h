// The connection to the X server (XWayland included) that the window mirror keeps,
// over xcb: unlike Xlib, xcb reports a broken connection as a value and never ends the
// process.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
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

// A new session, or nothing without DISPLAY or a reachable server; `whyNot` then says
// which. Neither the server's greeting nor the questions that follow are awaited longer
// than `patience`.
std::optional<Session> connect(std::string& whyNot, std::chrono::milliseconds patience);
void disconnect(Session& session);

// A property's raw value: its type, format (8, 16 or 32) and bytes. Nothing when the
// window has no such property or the request failed.
struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::uint8_t format = 0;
    std::string bytes;

    std::vector<std::uint32_t> cardinals() const;  // format-32 values
};

xcb_get_property_cookie_t requestProperty(const Session& session, xcb_window_t window, xcb_atom_t property);
// The value in a reply; nothing for a failed request or a property the window lacks.
std::optional<Property> propertyOf(const xcb_get_property_reply_t* reply);

}  // namespace observer::platform::x11

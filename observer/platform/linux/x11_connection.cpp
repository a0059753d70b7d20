// Opening and closing the X connection, and reading window properties.
#include "observer/platform/linux/x11_connection.h"

#include <xcb/res.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace observer::platform::x11 {
namespace {

// Properties that hold more than this are cut: names and window lists are far shorter.
constexpr std::uint32_t propertyLengthLimit = 1u << 16;  // in 32-bit units

Atoms internAtoms(xcb_connection_t* connection) {
    static constexpr const char* names[] = {
        "UTF8_STRING",        "COMPOUND_TEXT",           "_NET_SUPPORTING_WM_CHECK",
        "_NET_CLIENT_LIST",   "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW",
        "_NET_CURRENT_DESKTOP", "_NET_WM_DESKTOP",       "_NET_WM_STATE",
        "_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE",   "_NET_WM_WINDOW_TYPE_DESKTOP",
        "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_PID",       "_NET_WM_NAME",
    };
    constexpr std::size_t count = std::size(names);
    static_assert(count * sizeof(xcb_atom_t) == sizeof(Atoms));
    xcb_intern_atom_cookie_t cookies[count];
    for (std::size_t i = 0; i < count; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    xcb_atom_t values[count];
    for (std::size_t i = 0; i < count; ++i) {
        xcb_generic_error_t* error = nullptr;
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], &error);
        values[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        std::free(error);
    }
    Atoms atoms;
    std::memcpy(&atoms, values, sizeof atoms);
    return atoms;
}

// Client pids arrived with version 1.2 of the extension.
bool resourcePidsAvailable(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_res_id);
    if (extension == nullptr || extension->present == 0) return false;
    xcb_generic_error_t* error = nullptr;
    xcb_res_query_version_reply_t* version =
        xcb_res_query_version_reply(connection, xcb_res_query_version(connection, 1, 2), &error);
    std::free(error);
    const bool recent = version != nullptr && (version->server_major > 1 ||
                                               (version->server_major == 1 && version->server_minor >= 2));
    std::free(version);
    return recent;
}

std::string connectionError(int error) {
    switch (error) {
        case XCB_CONN_CLOSED_PARSE_ERR: return "the display name cannot be parsed";
        case XCB_CONN_CLOSED_INVALID_SCREEN: return "no such screen";
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED: return "an extension is missing";
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT: return "out of memory";
        case XCB_CONN_CLOSED_REQ_LEN_EXCEED: return "a request was too long";
        default: return "the connection failed or was refused";
    }
}

}  // namespace

std::optional<Session> connect(std::string& whyNot) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        whyNot = "DISPLAY is not set";
        return std::nullopt;
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (const int error = xcb_connection_has_error(connection); error != 0) {
        whyNot = "cannot connect to display " + std::string(display) + " (" + connectionError(error) + ")";
        xcb_disconnect(connection);
        return std::nullopt;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem == 0) {
        whyNot = "display " + std::string(display) + " has no such screen";
        xcb_disconnect(connection);
        return std::nullopt;
    }
    Session opened;
    opened.connection = connection;
    opened.root = screens.data->root;
    opened.atoms = internAtoms(connection);
    opened.hasResourcePids = resourcePidsAvailable(connection);
    if (xcb_connection_has_error(connection) != 0) {
        whyNot = "the connection to display " + std::string(display) + " broke at once";
        xcb_disconnect(connection);
        return std::nullopt;
    }
    return opened;
}

void disconnect(Session& session) {
    if (session.connection != nullptr) xcb_disconnect(session.connection);
    session = Session{};
}

std::vector<std::uint32_t> Property::cardinals() const {
    std::vector<std::uint32_t> values;
    if (format != 32) return values;
    values.resize(bytes.size() / 4);
    if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

xcb_get_property_cookie_t requestProperty(const Session& session, xcb_window_t window, xcb_atom_t property) {
    return xcb_get_property(session.connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                            propertyLengthLimit);
}

std::optional<Property> propertyOf(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->type == XCB_ATOM_NONE) return std::nullopt;
    auto* mutableReply = const_cast<xcb_get_property_reply_t*>(reply);
    const auto* data = static_cast<const char*>(xcb_get_property_value(mutableReply));
    const int length = xcb_get_property_value_length(mutableReply);
    return Property{reply->type, reply->format, std::string(data, static_cast<std::size_t>(length < 0 ? 0 : length))};
}

}  // namespace observer::platform::x11

// Opening and closing the X connection, and reading window properties.
#include "observer/platform/linux/x11_connection.h"
#include "observer/platform/linux/x11_greeting.h"

#include <poll.h>
#include <xcb/res.h>
#include <xcb/xcbext.h>

#include <cerrno>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace observer::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// Properties that hold more than this are cut: names and window lists are far shorter.
constexpr std::uint32_t propertyLengthLimit = 1u << 16;  // in 32-bit units

// A reply awaited no longer than the deadline: nothing when it did not come in time,
// a null pointer for a request that failed.
std::optional<void*> awaitReply(xcb_connection_t* connection, unsigned int sequence, Clock::time_point deadline) {
    xcb_flush(connection);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, sequence, &reply, &error) != 0) {
            std::free(error);
            return reply;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (xcb_connection_has_error(connection) != 0 || left <= 0) return std::nullopt;
        pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(left) + 1) < 0 && errno != EINTR) return std::nullopt;
    }
}

std::optional<Atoms> internAtoms(xcb_connection_t* connection, Clock::time_point deadline) {
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
        const auto reply = awaitReply(connection, cookies[i].sequence, deadline);
        if (!reply) return std::nullopt;
        const auto* atom = static_cast<const xcb_intern_atom_reply_t*>(*reply);
        values[i] = atom != nullptr ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(*reply);
    }
    Atoms atoms;
    std::memcpy(&atoms, values, sizeof atoms);
    return atoms;
}

// Client pids arrived with version 1.2 of the extension. The extension's presence was
// asked before the atoms, so its answer is in by now.
std::optional<bool> resourcePidsAvailable(xcb_connection_t* connection, Clock::time_point deadline) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_res_id);
    if (extension == nullptr || extension->present == 0) return false;
    const auto reply = awaitReply(connection, xcb_res_query_version(connection, 1, 2).sequence, deadline);
    if (!reply) return std::nullopt;
    const auto* version = static_cast<const xcb_res_query_version_reply_t*>(*reply);
    const bool recent = version != nullptr && (version->server_major > 1 ||
                                               (version->server_major == 1 && version->server_minor >= 2));
    std::free(*reply);
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

std::optional<Session> connect(std::string& whyNot, std::chrono::milliseconds patience) {
    const auto deadline = Clock::now() + patience;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        whyNot = "DISPLAY is not set";
        return std::nullopt;
    }
    if (!greetsInTime(display, patience)) {
        whyNot = "display " + std::string(display) + " gave no answer within " + std::to_string(patience.count()) + " ms";
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
    xcb_prefetch_extension_data(connection, &xcb_res_id);
    const auto atoms = internAtoms(connection, deadline);
    const auto resourcePids = atoms ? resourcePidsAvailable(connection, deadline) : std::nullopt;
    if (!resourcePids && xcb_connection_has_error(connection) == 0) {
        whyNot = "display " + std::string(display) + " gave no answer within " + std::to_string(patience.count()) + " ms";
        xcb_disconnect(connection);
        return std::nullopt;
    }
    if (atoms) opened.atoms = *atoms;
    opened.hasResourcePids = resourcePids.value_or(false);
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

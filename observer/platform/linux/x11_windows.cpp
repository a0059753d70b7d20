// Top-level client windows, their state, owners and names, asked in batches: every
// request of a batch goes out before the first reply is read.
#include "observer/platform/linux/x11_windows.h"

#include <xcb/res.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "observer/platform/text.h"

namespace observer::platform::x11 {
namespace {

constexpr std::uint32_t allDesktops = 0xFFFFFFFF;
constexpr int focusWalkLimit = 64;

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

// Takes the error by address: the reply call that fills it in is another argument of
// the same call, and arguments are evaluated in no fixed order.
template <typename Reply>
ReplyPtr<Reply> adopt(Reply* reply, xcb_generic_error_t** error) {
    std::free(*error);
    *error = nullptr;
    return ReplyPtr<Reply>(reply, &std::free);
}

std::optional<xcb_window_t> windowProperty(const Session& session, xcb_window_t window, xcb_atom_t atom) {
    const auto value = property(session, requestProperty(session, window, atom));
    if (!value || value->type != XCB_ATOM_WINDOW) return std::nullopt;
    const auto windows = value->cardinals();
    if (windows.empty()) return std::nullopt;
    return windows.front();
}

std::vector<xcb_window_t> windowListProperty(const Session& session, xcb_atom_t atom) {
    const auto value = property(session, requestProperty(session, session.root, atom));
    if (!value || value->type != XCB_ATOM_WINDOW) return {};
    return value->cardinals();
}

// The root's children, bottom-most first, that could be an application's own window:
// override-redirect windows are menus and tooltips, input-only windows show nothing.
struct RootChild {
    xcb_window_t window;
    bool viewable;
};

std::vector<RootChild> rootChildren(const Session& session) {
    xcb_generic_error_t* error = nullptr;
    const auto tree =
        adopt(xcb_query_tree_reply(session.connection, xcb_query_tree(session.connection, session.root), &error), &error);
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (int i = 0; i < count; ++i) cookies.push_back(xcb_get_window_attributes(session.connection, children[i]));
    std::vector<RootChild> kept;
    for (int i = 0; i < count; ++i) {
        error = nullptr;
        const auto attributes = adopt(xcb_get_window_attributes_reply(session.connection, cookies[i], &error), &error);
        if (!attributes || attributes->override_redirect != 0 || attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        kept.push_back({children[i], attributes->map_state == XCB_MAP_STATE_VIEWABLE});
    }
    return kept;
}

bool containsAny(const std::vector<std::uint32_t>& values, std::initializer_list<xcb_atom_t> wanted) {
    return std::any_of(values.begin(), values.end(),
                       [&](std::uint32_t value) { return std::find(wanted.begin(), wanted.end(), value) != wanted.end(); });
}

std::string latin1ToUtf8(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            text += byte;
        } else {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

}  // namespace

bool hasWindowManager(const Session& session) {
    const auto check = windowProperty(session, session.root, session.atoms.netSupportingWmCheck);
    if (!check || *check == XCB_WINDOW_NONE) return false;
    // A manager that died leaves a stale root property behind; its window is gone then.
    return windowProperty(session, *check, session.atoms.netSupportingWmCheck) == check;
}

std::vector<xcb_window_t> clientWindows(const Session& session) {
    if (hasWindowManager(session)) return windowListProperty(session, session.atoms.netClientList);

    // Without a manager an unmapped window counts when it says which application it is.
    // The root lists its children in stacking order, which changes whenever a window is
    // raised; window ids grow as windows are made, so their order stays put.
    auto children = rootChildren(session);
    std::sort(children.begin(), children.end(),
              [](const RootChild& a, const RootChild& b) { return a.window < b.window; });
    std::vector<xcb_get_property_cookie_t> cookies;
    for (const auto& child : children) cookies.push_back(requestProperty(session, child.window, XCB_ATOM_WM_CLASS));
    std::vector<xcb_window_t> windows;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const bool named = property(session, cookies[i]).has_value();
        if (children[i].viewable || named) windows.push_back(children[i].window);
    }
    return windows;
}

std::vector<xcb_window_t> onScreenWindows(const Session& session) {
    std::vector<xcb_window_t> candidates;
    if (hasWindowManager(session)) {
        candidates = windowListProperty(session, session.atoms.netClientListStacking);
    } else {
        for (const auto& child : rootChildren(session)) candidates.push_back(child.window);
    }
    std::reverse(candidates.begin(), candidates.end());  // both lists run bottom to top

    const Atoms& atoms = session.atoms;
    const auto current = property(session, requestProperty(session, session.root, atoms.netCurrentDesktop));
    const auto currentValues = current ? current->cardinals() : std::vector<std::uint32_t>{};
    // Without a current desktop every desktop counts as current.
    const std::uint32_t currentDesktop = currentValues.empty() ? allDesktops : currentValues.front();

    struct Pending {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t state, desktop, type;
    };
    std::vector<Pending> pending;
    for (const xcb_window_t window : candidates)
        pending.push_back({xcb_get_window_attributes(session.connection, window),
                           requestProperty(session, window, atoms.netWmState),
                           requestProperty(session, window, atoms.netWmDesktop),
                           requestProperty(session, window, atoms.netWmWindowType)});

    std::vector<xcb_window_t> visible;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        xcb_generic_error_t* error = nullptr;
        const auto attributes =
            adopt(xcb_get_window_attributes_reply(session.connection, pending[i].attributes, &error), &error);
        const auto state = property(session, pending[i].state);
        const auto desktop = property(session, pending[i].desktop);
        const auto type = property(session, pending[i].type);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        if (state && containsAny(state->cardinals(), {atoms.netWmStateHidden})) continue;
        if (type && containsAny(type->cardinals(), {atoms.netWmWindowTypeDesktop, atoms.netWmWindowTypeDock})) continue;
        const auto desktops = desktop ? desktop->cardinals() : std::vector<std::uint32_t>{};
        const std::uint32_t onDesktop = desktops.empty() ? allDesktops : desktops.front();
        if (currentDesktop != allDesktops && onDesktop != allDesktops && onDesktop != currentDesktop) continue;
        visible.push_back(candidates[i]);
    }
    return visible;
}

std::optional<xcb_window_t> activeWindow(const Session& session) {
    if (hasWindowManager(session)) {
        const auto active = windowProperty(session, session.root, session.atoms.netActiveWindow);
        if (!active || *active == XCB_WINDOW_NONE) return std::nullopt;
        return active;
    }
    xcb_generic_error_t* error = nullptr;
    const auto focus =
        adopt(xcb_get_input_focus_reply(session.connection, xcb_get_input_focus(session.connection), &error), &error);
    if (!focus || focus->focus == XCB_INPUT_FOCUS_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
        focus->focus == session.root)
        return std::nullopt;
    // The focus may sit on an inner window: its top-level window is the root's child.
    xcb_window_t window = focus->focus;
    for (int step = 0; step < focusWalkLimit; ++step) {
        error = nullptr;
        const auto tree =
            adopt(xcb_query_tree_reply(session.connection, xcb_query_tree(session.connection, window), &error), &error);
        if (!tree) return std::nullopt;
        if (tree->parent == session.root) return window;
        if (tree->parent == XCB_WINDOW_NONE) return std::nullopt;
        window = tree->parent;
    }
    return std::nullopt;
}

std::vector<WindowOwnerPid> ownerPids(const Session& session, const std::vector<xcb_window_t>& windows) {
    std::vector<xcb_res_query_client_ids_cookie_t> resourceCookies;
    std::vector<xcb_get_property_cookie_t> pidCookies;
    std::vector<xcb_get_window_attributes_cookie_t> existCookies;
    for (const xcb_window_t window : windows) {
        existCookies.push_back(xcb_get_window_attributes(session.connection, window));
        if (session.hasResourcePids) {
            xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            resourceCookies.push_back(xcb_res_query_client_ids(session.connection, 1, &spec));
        }
        pidCookies.push_back(requestProperty(session, window, session.atoms.netWmPid));
    }

    std::vector<WindowOwnerPid> owners;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        std::optional<std::int32_t> fromServer;
        if (session.hasResourcePids) {
            xcb_generic_error_t* error = nullptr;
            const auto reply =
                adopt(xcb_res_query_client_ids_reply(session.connection, resourceCookies[i], &error), &error);
            if (reply) {
                for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
                     xcb_res_client_id_value_next(&ids)) {
                    if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 || ids.data->length < 4)
                        continue;
                    const auto pid = static_cast<std::int32_t>(*xcb_res_client_id_value_value(ids.data));
                    if (pid > 0) fromServer = pid;  // remote clients answer -1
                }
            }
        }
        // The window's own claim is read anyway, so that its reply never lingers.
        const auto claimed = property(session, pidCookies[i]);
        // The extension names the client that an id was handed to, even after the window
        // is gone and the client's slot went to another: a vanished window has no owner.
        xcb_generic_error_t* error = nullptr;
        const bool exists =
            adopt(xcb_get_window_attributes_reply(session.connection, existCookies[i], &error), &error) != nullptr;
        if (!exists) {
            owners.emplace_back(MissingKey{});
        } else if (fromServer) {
            owners.emplace_back(*fromServer);
        } else if (!claimed) {
            owners.emplace_back(MissingKey{});
        } else if (claimed->type != XCB_ATOM_CARDINAL || claimed->cardinals().empty()) {
            owners.emplace_back(WrongType{});
        } else {
            owners.emplace_back(static_cast<std::int32_t>(claimed->cardinals().front()));
        }
    }
    return owners;
}

WindowName windowName(const Session& session, xcb_window_t window) {
    const auto netCookie = requestProperty(session, window, session.atoms.netWmName);
    const auto legacyCookie = requestProperty(session, window, XCB_ATOM_WM_NAME);
    const auto net = property(session, netCookie);
    const auto legacy = property(session, legacyCookie);
    if (net && net->type == session.atoms.utf8String && net->format == 8) return decodeUtf8(net->bytes);
    if (legacy && legacy->format == 8) {
        if (legacy->type == session.atoms.utf8String) return decodeUtf8(legacy->bytes);
        // Compound text starts out in Latin-1; switches to other character sets are rare
        // in titles and are not decoded.
        if (legacy->type == XCB_ATOM_STRING || legacy->type == session.atoms.compoundText)
            return latin1ToUtf8(legacy->bytes);
    }
    if (net || legacy) return WrongType{};
    return MissingKey{};
}

std::optional<WindowClass> windowClass(const Session& session, xcb_window_t window) {
    const auto value = property(session, requestProperty(session, window, XCB_ATOM_WM_CLASS));
    if (!value || value->type != XCB_ATOM_STRING || value->format != 8) return std::nullopt;
    const std::string& bytes = value->bytes;
    const auto split = bytes.find('\0');
    WindowClass result;
    result.instance = bytes.substr(0, split);
    if (split != std::string::npos) {
        const auto end = bytes.find('\0', split + 1);
        result.className = bytes.substr(split + 1, end == std::string::npos ? std::string::npos : end - split - 1);
    }
    return result;
}

}  // namespace observer::platform::x11

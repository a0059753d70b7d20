// The X mirror: events and replies read without blocking, in the order the server sent
// them. Requests go out when an event says that something changed; their answers are
// collected when they arrive, each awaited at most until its own deadline, so that a
// server that stalls costs one bounded wait and never one per call.
#include "observer/platform/linux/x11_mirror.h"

#include <poll.h>
#include <xcb/res.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "observer/platform/linux/server_reachability.h"

namespace observer::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The first connection may wait for a slow server as long as the sound server's does.
constexpr milliseconds firstBuildPatience{2000};
constexpr milliseconds buildPatience{250};
constexpr milliseconds answerPatience{250};
constexpr int focusWalkLimit = 64;
constexpr int dispatchRounds = 64;
// How recent a read the questions about single windows may share.
constexpr milliseconds dispatchSharing{10};

constexpr std::uint32_t rootEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE;
constexpr std::uint32_t windowEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE;

Session session;
bool connected = false;
bool built = false;
bool firstConnection = true;
Mirror mirror;
std::uint64_t mirrorVersion = 0;
Clock::time_point lastDispatch;

struct Pending {
    unsigned int sequence;
    Clock::time_point deadline;
    // Called with the reply, or with nothing when the request failed.
    std::function<void(void*)> apply;
};
std::deque<Pending> pending;

template <typename Cookie>
void expect(Cookie cookie, milliseconds patience, std::function<void(void*)> apply) {
    pending.push_back({cookie.sequence, Clock::now() + patience, std::move(apply)});
}

void fetchProperty(xcb_window_t window, xcb_atom_t atom, std::function<void(std::optional<Property>)> store) {
    expect(requestProperty(session, window, atom), answerPatience, [store = std::move(store)](void* reply) {
        store(propertyOf(static_cast<const xcb_get_property_reply_t*>(reply)));
    });
}

using WindowSlot = std::optional<Property> WindowState::*;
using RootSlot = std::optional<Property> Mirror::*;

// The slot of the mirror that holds a window's property, or none for other properties.
WindowSlot windowSlot(xcb_atom_t atom) {
    const Atoms& atoms = session.atoms;
    if (atom == atoms.netWmName) return &WindowState::netName;
    if (atom == XCB_ATOM_WM_NAME) return &WindowState::legacyName;
    if (atom == XCB_ATOM_WM_CLASS) return &WindowState::wmClass;
    if (atom == atoms.netWmPid) return &WindowState::netPid;
    if (atom == atoms.netWmState) return &WindowState::netState;
    if (atom == atoms.netWmDesktop) return &WindowState::netDesktop;
    if (atom == atoms.netWmWindowType) return &WindowState::netType;
    return nullptr;
}

RootSlot rootSlot(xcb_atom_t atom) {
    const Atoms& atoms = session.atoms;
    if (atom == atoms.netSupportingWmCheck) return &Mirror::wmCheck;
    if (atom == atoms.netClientList) return &Mirror::clientList;
    if (atom == atoms.netClientListStacking) return &Mirror::clientListStacking;
    if (atom == atoms.netActiveWindow) return &Mirror::activeWindow;
    if (atom == atoms.netCurrentDesktop) return &Mirror::currentDesktop;
    return nullptr;
}

void fetchWindowProperty(xcb_window_t window, xcb_atom_t atom) {
    const auto slot = windowSlot(atom);
    if (slot == nullptr) return;
    fetchProperty(window, atom, [window, slot](std::optional<Property> value) {
        const auto found = mirror.windows.find(window);
        if (found == mirror.windows.end()) return;
        found->second.*slot = std::move(value);
        if (slot == &WindowState::netName || slot == &WindowState::legacyName) found->second.decodedName.reset();
    });
}

void fetchCheckWindowClaim() {
    const xcb_window_t check = mirror.checkWindow;
    fetchProperty(check, session.atoms.netSupportingWmCheck, [check](std::optional<Property> value) {
        if (mirror.checkWindow == check) mirror.checkWindowClaim = std::move(value);
    });
}

void track(xcb_window_t window);

std::vector<xcb_window_t> windowsIn(const std::optional<Property>& value) {
    if (!value || value->type != XCB_ATOM_WINDOW) return {};
    return value->cardinals();
}

// The manager's check window is watched for its own claim and for its end.
void followCheckWindow() {
    const auto named = windowsIn(mirror.wmCheck);
    const xcb_window_t check = named.empty() ? xcb_window_t{XCB_WINDOW_NONE} : named.front();
    if (check == mirror.checkWindow) return;
    mirror.checkWindow = check;
    mirror.checkWindowClaim.reset();
    if (check == XCB_WINDOW_NONE) return;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(session.connection, check, XCB_CW_EVENT_MASK, &mask);
    fetchCheckWindowClaim();
}

void fetchRootProperty(xcb_atom_t atom) {
    const auto slot = rootSlot(atom);
    if (slot == nullptr) return;
    fetchProperty(session.root, atom, [slot](std::optional<Property> value) {
        mirror.*slot = std::move(value);
        if (slot == &Mirror::wmCheck) followCheckWindow();
        if (slot == &Mirror::clientList || slot == &Mirror::clientListStacking)
            for (const xcb_window_t window : windowsIn(mirror.*slot)) track(window);
    });
}

std::optional<std::int32_t> resourcePidOf(const xcb_res_query_client_ids_reply_t* reply) {
    std::optional<std::int32_t> pid;
    auto* mutableReply = const_cast<xcb_res_query_client_ids_reply_t*>(reply);
    for (auto ids = xcb_res_query_client_ids_ids_iterator(mutableReply); ids.rem > 0; xcb_res_client_id_value_next(&ids)) {
        if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) == 0 || ids.data->length < 4) continue;
        const auto value = static_cast<std::int32_t>(*xcb_res_client_id_value_value(ids.data));
        if (value > 0) pid = value;  // remote clients answer -1
    }
    return pid;
}

// Starts following a window: its events first, then its present state, so that no
// change falls between the two.
void track(xcb_window_t window) {
    if (window == XCB_WINDOW_NONE || !mirror.windows.try_emplace(window).second) return;
    xcb_change_window_attributes(session.connection, window, XCB_CW_EVENT_MASK, &windowEvents);
    expect(xcb_get_window_attributes(session.connection, window), answerPatience, [window](void* reply) {
        const auto* attributes = static_cast<const xcb_get_window_attributes_reply_t*>(reply);
        // The window was gone before it could be asked: nothing of it stays.
        if (attributes == nullptr) {
            mirror.windows.erase(window);
            return;
        }
        const auto found = mirror.windows.find(window);
        if (found == mirror.windows.end()) return;
        found->second.attributesKnown = true;
        found->second.overrideRedirect = attributes->override_redirect != 0;
        found->second.inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
        found->second.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    });
    const Atoms& atoms = session.atoms;
    for (const xcb_atom_t atom : {atoms.netWmName, xcb_atom_t{XCB_ATOM_WM_NAME}, xcb_atom_t{XCB_ATOM_WM_CLASS},
                                  atoms.netWmPid, atoms.netWmState, atoms.netWmDesktop, atoms.netWmWindowType})
        fetchWindowProperty(window, atom);
    if (!session.hasResourcePids) return;
    // The extension names the client that the id was handed to; a window's creator stays
    // its creator for the window's life, so it is asked once.
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    expect(xcb_res_query_client_ids(session.connection, 1, &spec), answerPatience, [window](void* reply) {
        const auto found = mirror.windows.find(window);
        if (found == mirror.windows.end() || reply == nullptr) return;
        found->second.resourcePid = resourcePidOf(static_cast<const xcb_res_query_client_ids_reply_t*>(reply));
    });
}

bool isRootChild(xcb_window_t window) {
    return std::find(mirror.rootChildren.begin(), mirror.rootChildren.end(), window) != mirror.rootChildren.end();
}

void removeRootChild(xcb_window_t window) {
    std::erase(mirror.rootChildren, window);
    if (const auto found = mirror.windows.find(window); found != mirror.windows.end()) found->second.rootChild = false;
}

void addRootChild(xcb_window_t window) {
    if (!isRootChild(window)) mirror.rootChildren.push_back(window);  // a new child is on top
    track(window);
    if (const auto found = mirror.windows.find(window); found != mirror.windows.end()) found->second.rootChild = true;
}

// `above` is the sibling just below the window, none for the bottom.
void restack(xcb_window_t window, xcb_window_t below) {
    if (!isRootChild(window)) return;
    std::erase(mirror.rootChildren, window);
    if (below == XCB_WINDOW_NONE) {
        mirror.rootChildren.insert(mirror.rootChildren.begin(), window);
        return;
    }
    const auto at = std::find(mirror.rootChildren.begin(), mirror.rootChildren.end(), below);
    mirror.rootChildren.insert(at == mirror.rootChildren.end() ? at : at + 1, window);
}

void walkToTopLevel(xcb_window_t window, int step) {
    if (step >= focusWalkLimit) {
        mirror.focusedTopLevel.reset();
        return;
    }
    expect(xcb_query_tree(session.connection, window), answerPatience, [window, step](void* reply) {
        const auto* tree = static_cast<const xcb_query_tree_reply_t*>(reply);
        if (tree == nullptr || tree->parent == XCB_WINDOW_NONE) {
            mirror.focusedTopLevel.reset();
        } else if (tree->parent == session.root) {
            mirror.focusedTopLevel = window;
        } else {
            walkToTopLevel(tree->parent, step + 1);
        }
    });
}

// The focus may sit on an inner window: its top-level window is the root's child.
void fetchFocus() {
    expect(xcb_get_input_focus(session.connection), answerPatience, [](void* reply) {
        const auto* focus = static_cast<const xcb_get_input_focus_reply_t*>(reply);
        if (focus == nullptr || focus->focus == XCB_INPUT_FOCUS_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
            focus->focus == session.root) {
            mirror.focusedTopLevel.reset();
        } else if (isRootChild(focus->focus)) {
            mirror.focusedTopLevel = focus->focus;
        } else {
            walkToTopLevel(focus->focus, 0);
        }
    });
}

void fetchRootChildren() {
    expect(xcb_query_tree(session.connection, session.root), answerPatience, [](void* reply) {
        const auto* tree = static_cast<const xcb_query_tree_reply_t*>(reply);
        if (tree == nullptr) return;
        auto* mutableTree = const_cast<xcb_query_tree_reply_t*>(tree);
        const xcb_window_t* children = xcb_query_tree_children(mutableTree);
        const int count = xcb_query_tree_children_length(mutableTree);
        mirror.rootChildren.clear();
        for (int i = 0; i < count; ++i) addRootChild(children[i]);
    });
}

void forgetWindow(xcb_window_t window) {
    removeRootChild(window);
    mirror.windows.erase(window);
    if (window == mirror.checkWindow) mirror.checkWindowClaim.reset();
    if (mirror.focusedTopLevel == window) mirror.focusedTopLevel.reset();
}

void setMapped(xcb_window_t window, bool mapped) {
    if (const auto found = mirror.windows.find(window); found != mirror.windows.end()) found->second.mapped = mapped;
}

void handle(const xcb_generic_event_t& event) {
    switch (event.response_type & ~0x80) {
        case XCB_PROPERTY_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (notify.window == session.root) fetchRootProperty(notify.atom);
            if (notify.window == mirror.checkWindow && notify.atom == session.atoms.netSupportingWmCheck)
                fetchCheckWindowClaim();
            if (mirror.windows.contains(notify.window)) fetchWindowProperty(notify.window, notify.atom);
            break;
        }
        case XCB_CREATE_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_create_notify_event_t&>(event);
            if (notify.parent == session.root) addRootChild(notify.window);
            break;
        }
        case XCB_DESTROY_NOTIFY:
            forgetWindow(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
            break;
        case XCB_REPARENT_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
            if (notify.parent == session.root) {
                addRootChild(notify.window);
            } else {
                removeRootChild(notify.window);
            }
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
            restack(notify.window, notify.above_sibling);
            break;
        }
        case XCB_CIRCULATE_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_circulate_notify_event_t&>(event);
            if (!isRootChild(notify.window)) break;
            std::erase(mirror.rootChildren, notify.window);
            if (notify.place == XCB_PLACE_ON_TOP) {
                mirror.rootChildren.push_back(notify.window);
            } else {
                mirror.rootChildren.insert(mirror.rootChildren.begin(), notify.window);
            }
            break;
        }
        case XCB_MAP_NOTIFY:
            setMapped(reinterpret_cast<const xcb_map_notify_event_t&>(event).window, true);
            break;
        case XCB_UNMAP_NOTIFY:
            setMapped(reinterpret_cast<const xcb_unmap_notify_event_t&>(event).window, false);
            break;
        case XCB_FOCUS_IN:
        case XCB_FOCUS_OUT:
            fetchFocus();
            break;
        default:
            break;  // errors of requests without replies, about windows already gone
    }
}

// Applies the answers that have arrived, up to and including the one to request `last`
// when it is given.
bool applyAnswers(std::optional<std::uint16_t> last) {
    bool applied = false;
    while (!pending.empty()) {
        const auto sequence = static_cast<std::uint16_t>(pending.front().sequence);
        if (last && static_cast<std::int16_t>(static_cast<std::uint16_t>(*last - sequence)) < 0) break;
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(session.connection, pending.front().sequence, &reply, &error) == 0) break;
        const Pending answered = std::move(pending.front());
        pending.pop_front();
        answered.apply(reply);
        std::free(reply);
        std::free(error);
        applied = true;
    }
    return applied;
}

// Reads what has arrived and applies events and answers in the order the server sent
// them, which xcb keeps apart: an event carries the number of the last request the
// server had handled, so the answers up to that one came before it. Applying them in
// that order matters: a window's attributes read before it was mapped must not undo
// the map event that followed them.
void dispatchArrived() {
    for (int round = 0; round < dispatchRounds; ++round) {
        bool progress = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(session.connection)) {
            applyAnswers(event->sequence);
            handle(*event);
            std::free(event);
            progress = true;
        }
        progress = applyAnswers(std::nullopt) || progress;
        if (progress) ++mirrorVersion;
        xcb_flush(session.connection);
        if (!progress || xcb_connection_has_error(session.connection) != 0) break;
    }
}

bool awaiting() {
    const auto now = Clock::now();
    return std::any_of(pending.begin(), pending.end(), [&](const Pending& request) { return request.deadline > now; });
}

// Waits for answers that are not yet overdue; a stalled server leaves them overdue
// after one wait, and later calls answer at once from the mirror.
void awaitAnswers() {
    while (awaiting() && xcb_connection_has_error(session.connection) == 0) {
        Clock::time_point last = Clock::now();
        for (const auto& request : pending) last = std::max(last, request.deadline);
        const auto left = std::chrono::duration_cast<milliseconds>(last - Clock::now()).count() + 1;
        pollfd descriptor{xcb_get_file_descriptor(session.connection), POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(left)) < 0) break;
        dispatchArrived();
    }
}

void drop() {
    ++mirrorVersion;
    lastDispatch = Clock::time_point{};
    pending.clear();
    mirror = Mirror{};
    built = false;
    if (connected) disconnect(session);
    connected = false;
}

bool connectAndBuild() {
    const milliseconds patience = firstConnection ? firstBuildPatience : buildPatience;
    firstConnection = false;
    std::string whyNot;
    const auto deadline = Clock::now() + patience;
    auto opened = connect(whyNot, patience);
    if (!opened) {
        reachability::unreachable(reachability::Server::x, whyNot);
        return false;
    }
    session = *opened;
    connected = true;
    xcb_change_window_attributes(session.connection, session.root, XCB_CW_EVENT_MASK, &rootEvents);
    for (const xcb_atom_t atom : {session.atoms.netSupportingWmCheck, session.atoms.netClientList,
                                  session.atoms.netClientListStacking, session.atoms.netActiveWindow,
                                  session.atoms.netCurrentDesktop})
        fetchRootProperty(atom);
    fetchRootChildren();
    fetchFocus();
    xcb_flush(session.connection);

    while (!pending.empty() && Clock::now() < deadline && xcb_connection_has_error(session.connection) == 0) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count() + 1;
        pollfd descriptor{xcb_get_file_descriptor(session.connection), POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(left)) < 0) break;
        dispatchArrived();
    }
    if (xcb_connection_has_error(session.connection) != 0) {
        reachability::unreachable(reachability::Server::x, "the connection broke while the windows were read");
        drop();
        return false;
    }
    if (!pending.empty()) {
        reachability::unreachable(reachability::Server::x,
                                  "no answer within " + std::to_string(patience.count()) + " ms");
        return false;  // the answers may still come; the mirror is built once they have
    }
    built = true;
    reachability::reached(reachability::Server::x);
    return true;
}

bool ensureMirror() {
    if (connected && xcb_connection_has_error(session.connection) != 0) {
        reachability::lost(reachability::Server::x);
        drop();
    }
    if (!connected) return connectAndBuild();
    if (built) return true;
    dispatchArrived();
    if (!pending.empty() || xcb_connection_has_error(session.connection) != 0) return false;
    built = true;
    reachability::reached(reachability::Server::x);
    return true;
}

std::optional<View> read(bool shareRecentRead) {
    // A server that went away since the last call is only noticed now; one that came
    // back in the meantime still deserves an answer from this call.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureMirror()) return std::nullopt;
        const auto now = Clock::now();
        if (!shareRecentRead || now - lastDispatch >= dispatchSharing || !pending.empty()) {
            lastDispatch = now;
            dispatchArrived();
            awaitAnswers();
        }
        if (xcb_connection_has_error(session.connection) == 0) return View{session, mirror, mirrorVersion};
        reachability::lost(reachability::Server::x);
        drop();
    }
    return std::nullopt;
}

}  // namespace

std::optional<View> currentView() {
    return read(false);
}

std::optional<View> recentView() {
    return read(true);
}

void takeInArrived() {
    if (!connected || xcb_connection_has_error(session.connection) != 0) return;
    lastDispatch = Clock::now();
    dispatchArrived();
}

bool synchronize(milliseconds timeout) {
    if (!ensureMirror()) return false;
    auto answered = std::make_shared<bool>(false);
    pending.push_back({xcb_get_input_focus(session.connection).sequence, Clock::now() + timeout,
                       [answered](void*) { *answered = true; }});
    xcb_flush(session.connection);
    awaitAnswers();
    return *answered && pending.empty() && xcb_connection_has_error(session.connection) == 0;
}

}  // namespace observer::platform::x11

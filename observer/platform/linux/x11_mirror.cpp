// The X mirror: events and replies read without blocking, in the order the server sent
// them. Requests go out when an event says that something changed; their answers are
// collected when they arrive (x11_reply_queue.h).
#include "observer/platform/linux/x11_mirror.h"

#include <xcb/res.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/x11_reply_queue.h"

namespace observer::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The first connection may wait for a slow server as long as the sound server's does.
servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
constexpr milliseconds answerPatience{250};
constexpr int focusWalkLimit = 64;
constexpr int dispatchRounds = 64;

constexpr std::uint32_t rootEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE;
constexpr std::uint32_t windowEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_FOCUS_CHANGE;

Session session;
bool connected = false;
bool built = false;
Mirror mirror;
std::uint64_t mirrorVersion = 0;
ReplyQueue pending;

template <typename Cookie>
void expect(Cookie cookie, milliseconds patience, ReplyQueue::Apply apply) {
    pending.expect(cookie.sequence, Clock::now() + patience, std::move(apply));
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

void removeRootChild(xcb_window_t window) {
    mirror.rootChildren.remove(window);
    if (const auto found = mirror.windows.find(window); found != mirror.windows.end()) found->second.rootChild = false;
}

void addRootChild(xcb_window_t window) {
    mirror.rootChildren.add(window);
    track(window);
    if (const auto found = mirror.windows.find(window); found != mirror.windows.end()) found->second.rootChild = true;
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
        } else if (mirror.rootChildren.contains(focus->focus)) {
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
            // above_sibling is the sibling that the window now lies just above.
            const auto& notify = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
            mirror.rootChildren.restack(notify.window, notify.above_sibling);
            break;
        }
        case XCB_CIRCULATE_NOTIFY: {
            const auto& notify = reinterpret_cast<const xcb_circulate_notify_event_t&>(event);
            mirror.rootChildren.circulate(notify.window, notify.place == XCB_PLACE_ON_TOP);
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

// Reads what has arrived and applies events and answers in the order the server sent
// them, which xcb keeps apart: an event carries the number of the last request the
// server had handled, so the answers up to that one came before it. Applying them in
// that order matters: a window's attributes read before it was mapped must not undo
// the map event that followed them.
void dispatchArrived() {
    for (int round = 0; round < dispatchRounds; ++round) {
        bool progress = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(session.connection)) {
            pending.applyArrived(session.connection, event->sequence);
            handle(*event);
            std::free(event);
            progress = true;
        }
        progress = pending.applyArrived(session.connection, std::nullopt) || progress;
        if (progress) ++mirrorVersion;
        xcb_flush(session.connection);
        if (!progress || xcb_connection_has_error(session.connection) != 0) break;
    }
}

// Waits for answers that are not yet overdue; a stalled server leaves them overdue
// after one wait, and later calls answer at once from the mirror.
void awaitAnswers() {
    while (pending.awaiting() && xcb_connection_has_error(session.connection) == 0) {
        if (!waitForServer(session.connection, pending.lastDeadline())) break;
        dispatchArrived();
    }
}

void drop() {
    ++mirrorVersion;
    reads.forgetReads();
    pending.clear();
    mirror = Mirror{};
    built = false;
    if (connected) disconnect(session);
    connected = false;
}

bool connectAndBuild() {
    const milliseconds patience = reads.nextConnectionPatience();
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
        if (!waitForServer(session.connection, deadline)) break;
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

// The steps of a read, as MirrorReads takes them. A server that went away since the last
// call is only noticed now.
struct XServerMirror {
    static bool ensure() { return ensureMirror(); }
    static bool awaitingAnswers() { return !pending.empty(); }
    static void takeInArrived() {
        dispatchArrived();
        awaitAnswers();
    }
    static bool healthy() { return xcb_connection_has_error(session.connection) == 0; }
    static void lose() {
        reachability::lost(reachability::Server::x);
        drop();
    }
};

std::optional<View> read(bool shareRecentRead) {
    XServerMirror connection;
    if (!reads.refresh(shareRecentRead, connection)) return std::nullopt;
    return View{session, mirror, mirrorVersion};
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
    reads.noteRead();
    dispatchArrived();
}

bool synchronize(milliseconds timeout) {
    if (!ensureMirror()) return false;
    auto answered = std::make_shared<bool>(false);
    expect(xcb_get_input_focus(session.connection), timeout, [answered](void*) { *answered = true; });
    xcb_flush(session.connection);
    awaitAnswers();
    return *answered && pending.empty() && xcb_connection_has_error(session.connection) == 0;
}

}  // namespace observer::platform::x11

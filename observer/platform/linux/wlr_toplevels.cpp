// The Wayland connection is read without blocking: requests are flushed, and what has
// arrived is read and dispatched with a poll whose only waits are bounded (the first
// list, up to the connection patience).
#include "observer/platform/linux/wlr_toplevels.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "observer/platform/linux/app_processes.h"
#include "observer/platform/linux/desktop_entries.h"
#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/process_table.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace observer::platform::wlr {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::uint32_t newestVersionKnown = 3;

struct Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    std::uint64_t id = 0;
    std::string title;
    std::string appId;
    bool activated = false;
    bool minimized = false;
    bool complete = false;  // its first "done" has come
    // What has come since the last "done".
    std::optional<std::string> pendingTitle;
    std::optional<std::string> pendingAppId;
    std::optional<std::pair<bool, bool>> pendingState;  // activated, minimized
};

servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
std::optional<bool> offered;
wl_display* display = nullptr;
wl_registry* registry = nullptr;
zwlr_foreign_toplevel_manager_v1* manager = nullptr;
std::vector<std::unique_ptr<Toplevel>> toplevels;  // in the order they were announced
std::vector<std::uint64_t> activationOrder;         // most recently activated first
std::uint64_t nextId = 1;
bool finished = false;
bool synced = false;
bool changed = true;
std::optional<compositor::View> view;
std::uint64_t version = 0;

// A program's running process, found again once it is gone. A program without one is
// looked for again only after a new toplevel was announced: its process may have started
// with it, while a title that changes on every event must not cost a walk over /proc.
struct OwnerGuess {
    std::string program;
    std::optional<std::int32_t> pid;
    std::uint64_t lookedForBefore = 0;  // `nextId` when it was last looked for
};
std::map<std::string, OwnerGuess> owners;  // by app id

bool stillRuns(std::int32_t pid, const std::string& program) {
    ProcessRecord record;
    std::int64_t length = 0;
    return queryProcessRecord(pid, record, length) == 0 && length > 0 &&
           std::string_view(record.command.data()) == std::string_view(program).substr(0, commandNameCapacity - 1);
}

std::optional<std::int32_t> ownerOf(const std::string& appId) {
    if (appId.empty()) return std::nullopt;
    auto& guess = owners[appId];
    if (guess.pid && stillRuns(*guess.pid, guess.program)) return guess.pid;
    if (!guess.pid && guess.lookedForBefore == nextId) return std::nullopt;
    guess.program = desktop::installedProgram(appId).value_or(appId);
    guess.pid = apps::runningProcessOf(guess.program);
    guess.lookedForBefore = nextId;
    return guess.pid;
}

void onTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
    static_cast<Toplevel*>(data)->pendingTitle = title;
}
void onAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    static_cast<Toplevel*>(data)->pendingAppId = appId;
}
void onOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
void onState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    bool activated = false;
    bool minimized = false;
    const auto* state = static_cast<const std::uint32_t*>(states->data);
    for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
        activated = activated || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        minimized = minimized || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED;
    }
    static_cast<Toplevel*>(data)->pendingState = std::pair(activated, minimized);
}
void onDone(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto& toplevel = *static_cast<Toplevel*>(data);
    if (toplevel.pendingTitle) toplevel.title = *std::exchange(toplevel.pendingTitle, std::nullopt);
    if (toplevel.pendingAppId) toplevel.appId = *std::exchange(toplevel.pendingAppId, std::nullopt);
    if (toplevel.pendingState) {
        const auto [activated, minimized] = *std::exchange(toplevel.pendingState, std::nullopt);
        if (activated && !toplevel.activated) {
            std::erase(activationOrder, toplevel.id);
            activationOrder.insert(activationOrder.begin(), toplevel.id);
        }
        toplevel.activated = activated;
        toplevel.minimized = minimized;
    }
    toplevel.complete = true;
    changed = true;
}
void onClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
    const auto* closed = static_cast<Toplevel*>(data);
    std::erase(activationOrder, closed->id);
    std::erase_if(toplevels, [&](const auto& toplevel) { return toplevel.get() == closed; });
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    changed = true;
}
void onParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
const zwlr_foreign_toplevel_handle_v1_listener toplevelListener{onTitle,  onAppId, onOutput, onOutput,
                                                                onState,  onDone,  onClosed, onParent};

void onToplevel(void*, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
    auto toplevel = std::make_unique<Toplevel>();
    toplevel->handle = handle;
    toplevel->id = nextId++;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelListener, toplevel.get());
    toplevels.push_back(std::move(toplevel));
}
void onFinished(void*, zwlr_foreign_toplevel_manager_v1*) {
    finished = true;
}
const zwlr_foreign_toplevel_manager_v1_listener managerListener{onToplevel, onFinished};

void onGlobal(void*, wl_registry* from, std::uint32_t name, const char* interface, std::uint32_t offeredVersion) {
    if (manager != nullptr || std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0) return;
    manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
        from, name, &zwlr_foreign_toplevel_manager_v1_interface, std::min(offeredVersion, newestVersionKnown)));
    zwlr_foreign_toplevel_manager_v1_add_listener(manager, &managerListener, nullptr);
}
void onGlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registryListener{onGlobal, onGlobalRemoved};

void onSynced(void*, wl_callback* callback, std::uint32_t) {
    synced = true;
    wl_callback_destroy(callback);
}
const wl_callback_listener syncListener{onSynced};

// Reads and dispatches what has arrived; while `waiting()` holds, waits for more until
// `deadline`. False when the connection broke.
template <typename Waiting>
bool pump(Clock::time_point deadline, Waiting waiting) {
    for (;;) {
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0) return false;
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        const bool wait = waiting();
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (wait && left <= 0) {
            wl_display_cancel_read(display);
            return true;
        }
        pollfd watched{wl_display_get_fd(display), POLLIN, 0};
        const int ready = ::poll(&watched, 1, wait ? static_cast<int>(left) : 0);
        if (ready > 0) {
            if (wl_display_read_events(display) < 0) return false;
        } else {
            wl_display_cancel_read(display);
            if (ready < 0 && errno != EINTR) return false;
        }
        if (wl_display_dispatch_pending(display) < 0) return false;
        if (ready <= 0 && !waiting()) return true;
    }
}

// Until the compositor has handled every request sent so far and sent what they caused.
bool roundTrip(Clock::time_point deadline) {
    synced = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &syncListener, nullptr);
    return pump(deadline, [] { return !synced; }) && synced;
}

void drop() {
    for (const auto& toplevel : toplevels) zwlr_foreign_toplevel_handle_v1_destroy(toplevel->handle);
    toplevels.clear();
    activationOrder.clear();
    if (manager != nullptr) zwlr_foreign_toplevel_manager_v1_destroy(manager);
    if (registry != nullptr) wl_registry_destroy(registry);
    if (display != nullptr) wl_display_disconnect(display);
    manager = nullptr;
    registry = nullptr;
    display = nullptr;
    finished = false;
    view.reset();
    changed = true;
    ++version;
    reads.forgetReads();
}

std::string displayName() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name != nullptr && *name != '\0' ? name : "wayland-0";
}

// Connects, binds the manager and waits for the first list; `manager` tells afterwards
// whether the compositor offers it.
bool connectAndBuild() {
    const milliseconds patience = reads.nextConnectionPatience();
    const auto deadline = Clock::now() + patience;
    display = wl_display_connect(nullptr);
    if (display == nullptr) {
        reachability::unreachable(reachability::Server::wayland,
                                  "no Wayland compositor at " + displayName() + " (" + std::strerror(errno) + ")");
        return false;
    }
    registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    // The globals, then the toplevels that binding the manager announces.
    if (!roundTrip(deadline) || (manager != nullptr && !roundTrip(deadline))) {
        reachability::unreachable(reachability::Server::wayland, "no answer from the Wayland compositor at " +
                                                                     displayName() + " within " +
                                                                     std::to_string(patience.count()) + " ms");
        drop();
        return false;
    }
    if (manager == nullptr) return true;
    reachability::reached(reachability::Server::wayland);
    return true;
}

bool healthy() {
    return display != nullptr && manager != nullptr && !finished && wl_display_get_error(display) == 0;
}

struct ToplevelMirror {
    static bool ensure() {
        if (healthy()) return true;
        if (display != nullptr) drop();
        if (!reads.connectionAttemptDue()) return false;
        const bool connected = connectAndBuild() && manager != nullptr;
        reads.noteConnectionAttempt(connected);
        return connected;
    }
    static bool awaitingAnswers() { return false; }
    static void takeInArrived() {
        if (!pump(Clock::now(), [] { return false; })) finished = true;
    }
    static bool healthy() { return wlr::healthy(); }
    static void lose() {
        reachability::lost(reachability::Server::wayland);
        drop();
    }
};

void buildView() {
    compositor::View built;
    for (const auto& toplevel : toplevels) {
        if (!toplevel->complete) continue;
        compositor::Toplevel window;
        window.id = toplevel->id;
        window.title = toplevel->title;
        window.appId = toplevel->appId;
        window.pid = ownerOf(toplevel->appId);
        window.onScreen = !toplevel->minimized;
        if (toplevel->activated) built.focused = built.windows.size();
        built.windows.push_back(std::move(window));
    }
    auto rank = [&](std::size_t index) {
        const auto at = std::find(activationOrder.begin(), activationOrder.end(), built.windows[index].id);
        return at - activationOrder.begin();
    };
    for (std::size_t i = 0; i < built.windows.size(); ++i)
        if (built.windows[i].onScreen) built.frontToBack.push_back(i);
    std::stable_sort(built.frontToBack.begin(), built.frontToBack.end(), [&](std::size_t a, std::size_t b) {
        const auto ra = rank(a);
        const auto rb = rank(b);
        return ra != rb ? ra < rb : a > b;  // never activated: newest first
    });
    built.version = ++version;
    view = std::move(built);
    changed = false;
}

}  // namespace

bool compositorOffersToplevels() {
    if (!offered) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        offered = name != nullptr && *name != '\0' && connectAndBuild() && manager != nullptr;
        reads.noteConnectionAttempt(*offered);
        if (!*offered && display != nullptr) drop();
    }
    return *offered;
}

const compositor::View* currentView() {
    ToplevelMirror connection;
    if (!reads.refresh(true, connection)) return nullptr;
    if (changed || !view) buildView();
    return &*view;
}

void takeInArrived() {
    if (display == nullptr || manager == nullptr) return;
    reads.noteRead();
    if (!pump(Clock::now(), [] { return false; }) || !healthy()) {
        reachability::lost(reachability::Server::wayland);
        drop();
    }
}

}  // namespace observer::platform::wlr

// Running applications: one per process that owns a top-level window, named by the
// desktop entry that its window class (over X11) or its app id (from a Wayland
// compositor) points to. In a session with a compositor source, its view has every
// window, XWayland's among them, and the X server is not asked.
#include "observer/platform/workspace.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <variant>

#include "observer/platform/linux/compositor_windows.h"
#include "observer/platform/linux/desktop_entries.h"
#include "observer/platform/linux/flatpak_applications.h"
#include "observer/platform/linux/x11_windows.h"

namespace observer::platform {
namespace {

// Desktop entries looked up once per window class in a call: a desktop's many windows
// share a few classes. The entries' folders are checked for changes once per call, not
// once per class, so that the call costs the same however many applications run.
class EntryLookup {
public:
    const std::optional<desktop::Entry>& find(const x11::WindowClass& windowClass) {
        for (const auto& known : found_)
            if (known.instance == windowClass.instance && known.className == windowClass.className) return known.entry;
        if (!refreshed_) {
            desktop::refreshEntries();
            refreshed_ = true;
        }
        found_.push_back({windowClass.instance, windowClass.className,
                          desktop::findIndexedEntry(windowClass.instance, windowClass.className)});
        return found_.back().entry;
    }

private:
    bool refreshed_ = false;
    struct Found {
        std::string instance;
        std::string className;
        std::optional<desktop::Entry> entry;
    };
    std::deque<Found> found_;
};

void nameByClass(RunningApplication& application, EntryLookup& entries, const x11::WindowClass& windowClass) {
    if (const auto& entry = entries.find(windowClass)) {
        application.localizedName = entry->name;
        const std::string_view id = entry->fileId;
        application.bundleIdentifier = std::string(id.substr(0, id.size() - std::string_view(".desktop").size()));
    } else if (!windowClass.className.empty()) {
        application.localizedName = windowClass.className;
    }
}

RunningApplication describe(const x11::View& view, EntryLookup& entries, std::int32_t pid,
                            const std::vector<xcb_window_t>& windows) {
    RunningApplication application;
    application.processIdentifier = pid;
    // An application's helper windows may carry no class; its first window that does names it.
    for (const xcb_window_t window : windows) {
        if (const auto windowClass = x11::windowClass(view, window)) {
            nameByClass(application, entries, *windowClass);
            break;
        }
    }
    return application;
}

struct Owned {
    std::int32_t pid;
    std::vector<xcb_window_t> windows;
};

// Owners in the order of their first window.
std::vector<Owned> owners(const x11::View& view, const std::vector<xcb_window_t>& windows) {
    std::vector<Owned> result;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const auto claimed = x11::ownerPid(view, windows[i]);
        const auto* pid = std::get_if<std::int32_t>(&claimed);
        if (pid == nullptr) continue;
        auto owner = std::find_if(result.begin(), result.end(), [&](const Owned& o) { return o.pid == *pid; });
        if (owner == result.end()) owner = result.insert(result.end(), Owned{*pid, {}});
        owner->windows.push_back(windows[i]);
    }
    return result;
}

// The client windows and their owners change only when the mirror does, and both the
// running applications and the frontmost one are asked for on every tick.
struct ClientWindows {
    std::optional<std::uint64_t> version;
    std::vector<xcb_window_t> windows;
    std::vector<Owned> owners;
};

const ClientWindows& clientWindowsAndOwners(const x11::View& view) {
    static ClientWindows known;
    if (known.version != view.version) {
        known.windows = x11::clientWindows(view);
        known.owners = owners(view, known.windows);
        known.version = view.version;
    }
    return known;
}

// The owners described as applications, kept while neither the mirror nor the desktop
// entries have changed: describing an owner reads its windows' classes and looks them up,
// which would cost every call more the more windows there are. The entries' folders are
// still checked on every call that has owners to name.
struct DescribedOwners {
    std::optional<std::uint64_t> version;
    std::size_t indexBuilds = 0;
    std::vector<RunningApplication> applications;  // one per owner, in the owners' order
};

const std::vector<RunningApplication>& describedOwners(const x11::View& view) {
    static DescribedOwners known;
    const ClientWindows& clients = clientWindowsAndOwners(view);
    if (clients.owners.empty()) {
        known.applications.clear();
        known.version = view.version;
        return known.applications;
    }
    desktop::refreshEntries();
    if (known.version != view.version || known.indexBuilds != desktop::indexBuilds()) {
        known.applications.clear();
        EntryLookup entries;
        for (const auto& owner : clients.owners)
            known.applications.push_back(describe(view, entries, owner.pid, owner.windows));
        known.version = view.version;
        known.indexBuilds = desktop::indexBuilds();
    }
    return known.applications;
}

// A compositor's windows by owner, in the order of each owner's first window; a window
// whose owner the compositor does not tell belongs to no application.
struct CompositorOwner {
    std::int32_t pid;
    std::vector<std::size_t> windows;  // indices into the view's windows
};

const std::vector<CompositorOwner>& compositorOwners(const compositor::View& view) {
    static std::optional<std::uint64_t> version;
    static std::vector<CompositorOwner> known;
    if (version != view.version) {
        known.clear();
        for (std::size_t i = 0; i < view.windows.size(); ++i) {
            const auto& pid = view.windows[i].pid;
            if (!pid) continue;
            auto owner = std::find_if(known.begin(), known.end(), [&](const CompositorOwner& o) { return o.pid == *pid; });
            if (owner == known.end()) owner = known.insert(known.end(), CompositorOwner{*pid, {}});
            owner->windows.push_back(i);
        }
        version = view.version;
    }
    return known;
}

// A native window's app id is looked up as an X11 window's class would be: as the
// entry's StartupWMClass, its file id, or a product of the identity table.
RunningApplication describe(const compositor::View& view, EntryLookup& entries, const CompositorOwner& owner) {
    RunningApplication application;
    application.processIdentifier = owner.pid;
    for (const std::size_t index : owner.windows) {
        const compositor::Toplevel& window = view.windows[index];
        if (window.appId.empty()) continue;
        nameByClass(application, entries, {window.instance.empty() ? window.appId : window.instance, window.appId});
        break;
    }
    return application;
}

// Each owner's Flatpak id, read once per owner: an owner is known by its pid and its
// first window, so that a pid that a new process took over is read afresh.
struct FlatpakOwner {
    std::int32_t pid;
    std::uint64_t firstWindow;
    std::optional<std::string> id;
};

// The pid of the owner whose Flatpak id is `id`, of owners given as (pid, first window).
std::optional<std::int32_t> flatpakOwner(std::string_view id,
                                         const std::vector<std::pair<std::int32_t, std::uint64_t>>& owners) {
    static std::vector<FlatpakOwner> known;
    // Owners that have gone take their entries with them.
    std::erase_if(known, [&](const FlatpakOwner& entry) {
        return std::find(owners.begin(), owners.end(), std::pair(entry.pid, entry.firstWindow)) == owners.end();
    });
    for (const auto& [pid, firstWindow] : owners) {
        auto entry = std::find_if(known.begin(), known.end(), [&](const FlatpakOwner& e) {
            return e.pid == pid && e.firstWindow == firstWindow;
        });
        if (entry == known.end()) entry = known.insert(known.end(), {pid, firstWindow, flatpak::applicationIdOf(pid)});
        if (entry->id == id) return pid;
    }
    return std::nullopt;
}

}  // namespace

namespace flatpak {

std::optional<std::int32_t> runningApplication(std::string_view id) {
    std::vector<std::pair<std::int32_t, std::uint64_t>> owners;
    if (compositor::sessionHasCompositorSource()) {
        const compositor::View* view = compositor::currentView();
        if (view == nullptr) return std::nullopt;
        for (const auto& owner : compositorOwners(*view))
            owners.emplace_back(owner.pid, view->windows[owner.windows.front()].id);
        return flatpakOwner(id, owners);
    }
    return x11::ask(std::optional<std::int32_t>(), [&](const x11::View& view) {
        for (const auto& owner : clientWindowsAndOwners(view).owners) owners.emplace_back(owner.pid, owner.windows.front());
        return flatpakOwner(id, owners);
    });
}

}  // namespace flatpak

std::vector<RunningApplication> runningApplications() {
    if (compositor::sessionHasCompositorSource()) {
        const compositor::View* view = compositor::currentView();
        std::vector<RunningApplication> applications;
        if (view == nullptr) return applications;
        EntryLookup entries;
        for (const auto& owner : compositorOwners(*view)) applications.push_back(describe(*view, entries, owner));
        return applications;
    }
    return x11::ask(std::vector<RunningApplication>(),
                    [](const x11::View& view) { return describedOwners(view); });
}

std::optional<RunningApplication> frontmostApplication() {
    if (compositor::sessionHasCompositorSource()) {
        // The owner of the window with the keyboard focus, named as in the list.
        const compositor::View* view = compositor::currentView();
        if (view == nullptr || !view->focused) return std::nullopt;
        const auto& focusedPid = view->windows[*view->focused].pid;
        if (!focusedPid) return std::nullopt;
        EntryLookup entries;
        for (const auto& owner : compositorOwners(*view))
            if (owner.pid == *focusedPid) return describe(*view, entries, owner);
        return std::nullopt;
    }
    return x11::ask(std::optional<RunningApplication>(),
                    [](const x11::View& view) -> std::optional<RunningApplication> {
                        const auto active = x11::activeWindow(view);
                        if (!active) return std::nullopt;
                        // A manager may still name a window that has just gone.
                        const ClientWindows& clients = clientWindowsAndOwners(view);
                        const auto& windows = clients.windows;
                        if (std::find(windows.begin(), windows.end(), *active) == windows.end()) return std::nullopt;
                        const auto activeOwner = x11::ownerPid(view, *active);
                        const auto* pid = std::get_if<std::int32_t>(&activeOwner);
                        if (pid == nullptr) return std::nullopt;
                        // Named as in the running-application list, so that both agree on one process.
                        const auto& owners = clients.owners;
                        const auto owner = std::find_if(owners.begin(), owners.end(),
                                                        [&](const Owned& o) { return o.pid == *pid; });
                        if (owner == owners.end()) return std::nullopt;
                        return describedOwners(view)[static_cast<std::size_t>(owner - owners.begin())];
                    });
}

}  // namespace observer::platform

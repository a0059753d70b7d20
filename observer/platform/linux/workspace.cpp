// Running applications over X11: one per process that owns a top-level client window,
// named by the desktop entry that its window class points to.
#include "observer/platform/workspace.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <variant>

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

RunningApplication describe(const x11::View& view, EntryLookup& entries, std::int32_t pid,
                            const std::vector<xcb_window_t>& windows) {
    RunningApplication application;
    application.processIdentifier = pid;
    // An application's helper windows may carry no class; its first window that does names it.
    for (const xcb_window_t window : windows) {
        const auto windowClass = x11::windowClass(view, window);
        if (!windowClass) continue;
        if (const auto& entry = entries.find(*windowClass)) {
            application.localizedName = entry->name;
            const std::string_view id = entry->fileId;
            application.bundleIdentifier = std::string(id.substr(0, id.size() - std::string_view(".desktop").size()));
        } else if (!windowClass->className.empty()) {
            application.localizedName = windowClass->className;
        }
        break;
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

// Each owner's Flatpak id, read once per owner: an owner is known by its pid and its
// first window, so that a pid that a new process took over is read afresh.
struct FlatpakOwner {
    std::int32_t pid;
    xcb_window_t firstWindow;
    std::optional<std::string> id;
};

const std::optional<std::string>& flatpakIdOf(const Owned& owner, std::vector<FlatpakOwner>& known) {
    const xcb_window_t first = owner.windows.front();
    for (const auto& entry : known)
        if (entry.pid == owner.pid && entry.firstWindow == first) return entry.id;
    known.push_back({owner.pid, first, flatpak::applicationIdOf(owner.pid)});
    return known.back().id;
}

}  // namespace

namespace flatpak {

std::optional<std::int32_t> runningApplication(std::string_view id) {
    return x11::ask(std::optional<std::int32_t>(), [&](const x11::View& view) -> std::optional<std::int32_t> {
        static std::vector<FlatpakOwner> known;
        const auto& owners = clientWindowsAndOwners(view).owners;
        // Owners that have gone take their entries with them.
        std::erase_if(known, [&](const FlatpakOwner& entry) {
            return std::none_of(owners.begin(), owners.end(), [&](const Owned& owner) {
                return owner.pid == entry.pid && owner.windows.front() == entry.firstWindow;
            });
        });
        for (const auto& owner : owners)
            if (flatpakIdOf(owner, known) == id) return owner.pid;
        return std::nullopt;
    });
}

}  // namespace flatpak

std::vector<RunningApplication> runningApplications() {
    return x11::ask(std::vector<RunningApplication>(), [](const x11::View& view) {
        std::vector<RunningApplication> applications;
        EntryLookup entries;
        for (const auto& owner : clientWindowsAndOwners(view).owners)
            applications.push_back(describe(view, entries, owner.pid, owner.windows));
        return applications;
    });
}

std::optional<RunningApplication> frontmostApplication() {
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
                        EntryLookup entries;
                        for (const auto& owner : clients.owners)
                            if (owner.pid == *pid) return describe(view, entries, owner.pid, owner.windows);
                        return std::nullopt;
                    });
}

}  // namespace observer::platform

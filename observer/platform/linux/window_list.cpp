// The on-screen window list, from the session's compositor where it has a compositor
// source, else over X11. An X11 list holds window ids and where their records were in
// the mirror, and an entry's owner and name are read from the mirror when the caller
// reads them; a compositor's list is its view's, read when the list is made.
#include "observer/platform/window_list.h"

#include <memory>
#include <optional>
#include <vector>

#include "observer/platform/linux/compositor_windows.h"
#include "observer/platform/linux/x11_windows.h"

namespace observer::platform {

class WindowList {
public:
    std::vector<xcb_window_t> windows;
    std::vector<const x11::WindowState*> states;  // good while the mirror is at `version`
    std::uint64_t version = 0;
    // A compositor's windows, with what its view said of them.
    bool fromCompositor = false;
    std::vector<WindowOwnerPid> owners;
    std::vector<WindowName> names;
};

void WindowListRelease::operator()(WindowList* list) const {
    delete list;
}

namespace {

// The windows on screen change only when the mirror does, and a detecting tick copies
// the list once per catalogue row: they are worked out once per version of the mirror.
struct OnScreen {
    std::optional<std::uint64_t> version;
    WindowList list;
};
OnScreen onScreen;

// A read takes in what the server has sent since, unless another did so a moment ago:
// a window gone in the meantime has neither owner nor name.
template <typename Result, typename Read>
Result readEntry(const WindowList& list, std::size_t index, Read read) {
    if (index >= list.windows.size()) return MissingKey{};
    if (list.fromCompositor) return MissingKey{};
    return x11::askRecent(Result(MissingKey{}), [&](const x11::View& view) -> Result {
        const x11::WindowState* state =
            view.version == list.version ? list.states[index] : x11::windowState(view, list.windows[index]);
        if (state == nullptr) return MissingKey{};
        return read(view, *state);
    });
}

// The compositor's on-screen windows, topmost first; an owner that the compositor does
// not tell is a missing key.
WindowListHandle compositorWindows() {
    const compositor::View* view = compositor::currentView();
    if (view == nullptr) return WindowListHandle();
    auto list = std::make_unique<WindowList>();
    list->fromCompositor = true;
    for (const std::size_t index : view->frontToBack) {
        const compositor::Toplevel& window = view->windows[index];
        list->owners.push_back(window.pid ? WindowOwnerPid(*window.pid) : WindowOwnerPid(MissingKey{}));
        list->names.push_back(window.title);
    }
    return WindowListHandle(list.release());
}

}  // namespace

WindowListHandle copyOnScreenWindows() {
    if (compositor::sessionHasCompositorSource()) return compositorWindows();
    return x11::ask(WindowListHandle(), [](const x11::View& view) {
        if (onScreen.version != view.version) {
            WindowList& list = onScreen.list;
            list.windows = x11::onScreenWindows(view);
            list.states.clear();
            for (const xcb_window_t window : list.windows) list.states.push_back(x11::windowState(view, window));
            list.version = view.version;
            onScreen.version = view.version;
        }
        return WindowListHandle(new WindowList(onScreen.list));
    });
}

std::size_t windowCount(const WindowList& list) {
    return list.fromCompositor ? list.owners.size() : list.windows.size();
}

WindowOwnerPid windowOwnerPid(const WindowList& list, std::size_t index) {
    if (list.fromCompositor) return index < list.owners.size() ? list.owners[index] : WindowOwnerPid(MissingKey{});
    return readEntry<WindowOwnerPid>(list, index,
                                     [](const x11::View&, const x11::WindowState& state) { return x11::ownerPid(state); });
}

WindowName windowName(const WindowList& list, std::size_t index) {
    if (list.fromCompositor) return index < list.names.size() ? list.names[index] : WindowName(MissingKey{});
    return readEntry<WindowName>(list, index, [](const x11::View& view, const x11::WindowState& state) {
        return x11::windowName(view, state);
    });
}

// X11 and the compositors have no layers of this kind, and show every title.
std::optional<std::int32_t> windowLayer(const WindowList&, std::size_t) {
    return std::nullopt;
}

std::optional<bool> windowTitlesReadable() {
    return true;
}

}  // namespace observer::platform

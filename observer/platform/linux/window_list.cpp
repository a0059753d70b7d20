// The on-screen window list over X11. The list holds window ids only; an entry's owner
// and name are read from the window mirror when the caller reads them.
#include "observer/platform/window_list.h"

#include <vector>

#include "observer/platform/linux/x11_windows.h"

namespace observer::platform {

class WindowList {
public:
    std::vector<xcb_window_t> windows;
};

void WindowListRelease::operator()(WindowList* list) const {
    delete list;
}

WindowListHandle copyOnScreenWindows() {
    return x11::ask(WindowListHandle(), [](const x11::View& view) {
        auto list = WindowListHandle(new WindowList);
        list->windows = x11::onScreenWindows(view);
        return list;
    });
}

std::size_t windowCount(const WindowList& list) {
    return list.windows.size();
}

// A read takes in what the server has sent since, unless another did so a moment ago:
// a window gone in the meantime has neither owner nor name.
WindowOwnerPid windowOwnerPid(const WindowList& list, std::size_t index) {
    if (index >= list.windows.size()) return MissingKey{};
    return x11::askRecent(WindowOwnerPid(MissingKey{}),
                          [&](const x11::View& view) { return x11::ownerPid(view, list.windows[index]); });
}

WindowName windowName(const WindowList& list, std::size_t index) {
    if (index >= list.windows.size()) return MissingKey{};
    return x11::askRecent(WindowName(MissingKey{}),
                          [&](const x11::View& view) { return x11::windowName(view, list.windows[index]); });
}

}  // namespace observer::platform

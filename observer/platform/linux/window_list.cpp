// The on-screen window list over X11. The list holds window ids only; an entry's owner
// and name are asked of the server when the caller reads them.
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
    return x11::ask(WindowListHandle(), [](const x11::Session& session) {
        auto list = WindowListHandle(new WindowList);
        list->windows = x11::onScreenWindows(session);
        return list;
    });
}

std::size_t windowCount(const WindowList& list) {
    return list.windows.size();
}

WindowOwnerPid windowOwnerPid(const WindowList& list, std::size_t index) {
    if (index >= list.windows.size()) return MissingKey{};
    return x11::ask(WindowOwnerPid(MissingKey{}), [&](const x11::Session& session) {
        return x11::ownerPids(session, {list.windows[index]}).front();
    });
}

WindowName windowName(const WindowList& list, std::size_t index) {
    if (index >= list.windows.size()) return MissingKey{};
    return x11::ask(WindowName(MissingKey{}),
                    [&](const x11::Session& session) { return x11::windowName(session, list.windows[index]); });
}

}  // namespace observer::platform

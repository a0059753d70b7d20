// The window list over the simulated world. A copy refers to the world's windows
// rather than copying them; the world does not change while a scan runs.
#include "observer/platform/window_list.h"

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

class WindowList {
public:
    explicit WindowList(const std::vector<simulated::Window>& windows) : windows(windows) {}
    const std::vector<simulated::Window>& windows;
};

void WindowListRelease::operator()(WindowList* list) const {
    delete list;
}

WindowListHandle copyOnScreenWindows() {
    simulated::Simulation& s = simulated::simulation();
    ++s.windowListCopies;
    if (!s.world.windows) return nullptr;
    return WindowListHandle(new WindowList(*s.world.windows));
}

std::size_t windowCount(const WindowList& list) {
    return list.windows.size();
}

WindowOwnerPid windowOwnerPid(const WindowList& list, std::size_t index) {
    return list.windows[index].ownerPid;
}

WindowName windowName(const WindowList& list, std::size_t index) {
    return list.windows[index].name;
}

// The simulated window server has no layers and shows every title.
std::optional<std::int32_t> windowLayer(const WindowList&, std::size_t) {
    return std::nullopt;
}

std::optional<bool> windowTitlesReadable() {
    return true;
}

}  // namespace observer::platform

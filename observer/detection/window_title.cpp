// One copy of the on-screen window list, scanned front to back.
#include "observer/detection/window_title.h"

#include <variant>

#include "observer/platform/window_list.h"

namespace observer {

std::string getWindowTitle(Pid pid) {
    const platform::WindowListHandle windows = platform::copyOnScreenWindows();
    if (!windows) return {};
    const std::size_t count = platform::windowCount(*windows);
    for (std::size_t index = 0; index < count; ++index) {
        const platform::WindowOwnerPid owner = platform::windowOwnerPid(*windows, index);
        const auto* ownerPid = std::get_if<std::int32_t>(&owner);
        if (ownerPid == nullptr || *ownerPid != pid) continue;
        platform::WindowName name = platform::windowName(*windows, index);
        auto* title = std::get_if<std::string>(&name);
        if (title == nullptr || title->empty()) continue;
        return std::move(*title);
    }
    return {};
}

}  // namespace observer

// The on-screen window list, scanned front to back. Within a tick every lookup scans the
// one copy that the tick's first lookup made: a detection pass looks up a title for each
// catalogue row, and a copy is a round trip to the window server that describes every
// window on screen, so a copy per lookup would cost a tick more the more windows there are.
#include "observer/detection/window_title.h"

#include <optional>
#include <variant>

#include "observer/platform/window_list.h"

namespace observer {
namespace {

bool sharingWindowList = false;
// The tick's copy once a lookup has made it; a null handle when the server gave no list.
std::optional<platform::WindowListHandle> tickWindows;

std::string firstTitle(const platform::WindowList& windows, Pid pid) {
    const std::size_t count = platform::windowCount(windows);
    for (std::size_t index = 0; index < count; ++index) {
        const platform::WindowOwnerPid owner = platform::windowOwnerPid(windows, index);
        const auto* ownerPid = std::get_if<std::int32_t>(&owner);
        if (ownerPid == nullptr || *ownerPid != pid) continue;
        platform::WindowName name = platform::windowName(windows, index);
        auto* title = std::get_if<std::string>(&name);
        if (title == nullptr || title->empty()) continue;
        return std::move(*title);
    }
    return {};
}

}  // namespace

void shareWindowListWithinTick() {
    sharingWindowList = true;
}

void forgetWindowList() {
    sharingWindowList = false;
    tickWindows.reset();
}

std::string getWindowTitle(Pid pid) {
    if (!sharingWindowList) {
        const platform::WindowListHandle windows = platform::copyOnScreenWindows();
        return windows ? firstTitle(*windows, pid) : std::string();
    }
    if (!tickWindows) tickWindows = platform::copyOnScreenWindows();
    return *tickWindows ? firstTitle(**tickWindows, pid) : std::string();
}

}  // namespace observer

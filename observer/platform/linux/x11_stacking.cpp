// Stacking changes on the root's children, applied to a list that is short (one entry
// per top-level window), so plain searches do.
#include "observer/platform/linux/x11_stacking.h"

#include <algorithm>

namespace observer::platform::x11 {

bool StackingOrder::contains(xcb_window_t window) const {
    return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
}

void StackingOrder::add(xcb_window_t window) {
    if (!contains(window)) windows_.push_back(window);
}

void StackingOrder::remove(xcb_window_t window) {
    std::erase(windows_, window);
}

void StackingOrder::restack(xcb_window_t window, xcb_window_t below) {
    if (!contains(window)) return;
    std::erase(windows_, window);
    if (below == XCB_WINDOW_NONE) {
        windows_.insert(windows_.begin(), window);
        return;
    }
    const auto at = std::find(windows_.begin(), windows_.end(), below);
    windows_.insert(at == windows_.end() ? at : at + 1, window);
}

void StackingOrder::circulate(xcb_window_t window, bool toTop) {
    if (!contains(window)) return;
    std::erase(windows_, window);
    if (toTop) {
        windows_.push_back(window);
    } else {
        windows_.insert(windows_.begin(), window);
    }
}

}  // namespace observer::platform::x11

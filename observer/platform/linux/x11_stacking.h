// The root window's children in stacking order, bottom-most first, kept from the
// server's create, reparent, configure and circulate events: what a desktop without a
// window manager has instead of the manager's stacking list.
#pragma once

#include <xcb/xcb.h>

#include <vector>

namespace observer::platform::x11 {

class StackingOrder {
public:
    bool contains(xcb_window_t window) const;
    // A new child goes on top; one already there keeps its place.
    void add(xcb_window_t window);
    void remove(xcb_window_t window);
    // Restacks a child right above `below`, or at the bottom when `below` is none. A
    // sibling that is not known puts it on top; a window that is not a child is ignored.
    void restack(xcb_window_t window, xcb_window_t below);
    // Circulated to the top or to the bottom.
    void circulate(xcb_window_t window, bool toTop);
    void clear() { windows_.clear(); }

    const std::vector<xcb_window_t>& bottomFirst() const { return windows_; }

private:
    std::vector<xcb_window_t> windows_;
};

}  // namespace observer::platform::x11

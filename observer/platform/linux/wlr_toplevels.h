// The toplevel list of a wlroots compositor (labwc, Wayfire, river, Hyprland and sway
// among others) over its Wayland socket, through wlr-foreign-toplevel-management: every
// toplevel's title, app id and state, kept current by the compositor's own events, so
// that a query answers without a round trip.
//
// The list tells no pids, no stacking and no workspaces. A window's owner is the running
// process of the program that the app id's desktop entry starts (apps::runningProcessOf),
// else of a program named as the app id; a window with neither has no owner. What is in
// front is what was activated last: windows in the order they were last activated, those
// never activated after them, newest first. Minimised windows are not on screen.
#pragma once

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::wlr {

// Whether the compositor that WAYLAND_DISPLAY names offers the toplevel list. Decided at
// the first call, for the whole run: a compositor does not start offering it later.
bool compositorOffersToplevels();

// Nothing while the compositor cannot be reached. Valid until the next call.
const compositor::View* currentView();
void takeInArrived();

}  // namespace observer::platform::wlr

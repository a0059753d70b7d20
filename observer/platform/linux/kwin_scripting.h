// KWin's view of the windows (KDE Plasma on Wayland), through a script that quorvel loads
// into KWin over the session bus (kwin_script.h): the script reports the windows to
// quorvel's own connection after every change, so that a query answers from the last
// report without a round trip. KWin offers no other client its window list on Wayland.
// Loading a script needs no privilege: any client of the user's session bus may.
//
// Reports are taken only from the connection that owns the name org.kde.KWin. KWin
// going away (its name losing its owner) drops the view; the next call connects again
// and loads the script into the KWin that is there then.
#pragma once

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::kwin {

// Whether this is a Wayland session (WAYLAND_DISPLAY is set) whose session bus has KWin on
// it. Decided at the first call, for the whole run.
bool sessionHasKWin();

// Nothing while KWin cannot be reached or has not reported yet. Valid until the next call.
const compositor::View* currentView();
void takeInArrived();

}  // namespace observer::platform::kwin

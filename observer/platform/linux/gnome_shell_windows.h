// GNOME Shell's view of the windows (GNOME on Wayland), through quorvel's GNOME Shell
// extension (gnome-shell/window_reporter.js), which the user installs and enables: it
// owns org.quorvel.ShellWindows on the session bus, answers the windows once when asked
// and sends them again in a signal after every change, so that a query answers from the
// last report without a round trip. Mutter shows ordinary clients no window list, and
// GNOME Shell's own introspection interface answers only to its own programs.
//
// Signals are taken only from the connection that owns the extension's name. The
// extension going away (disabled, or GNOME Shell restarting) drops the view; the next call
// connects again.
#pragma once

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::gnome_shell {

// Whether this is a Wayland session (WAYLAND_DISPLAY is set) whose session bus has GNOME
// Shell with quorvel's extension on it. Decided at the first call, for the whole run;
// GNOME Shell without the extension is logged once ("GNOME Shell unreachable: ...") and
// leaves the session to XWayland's windows.
bool sessionHasExtension();

// Nothing while the extension cannot be reached. Valid until the next call.
const compositor::View* currentView();
void takeInArrived();

}  // namespace observer::platform::gnome_shell

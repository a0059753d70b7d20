// Hyprland's view of the windows over its IPC sockets (in $XDG_RUNTIME_DIR/hypr/SIGNATURE,
// or /tmp/hypr/SIGNATURE before Hyprland 0.40, SIGNATURE being
// $HYPRLAND_INSTANCE_SIGNATURE): the windows and monitors asked for once after connecting
// and again on the tick after Hyprland has sent an event, so that a query answers from
// the last answers without a round trip of its own. Each request is a connection of its
// own to `.socket.sock`, as Hyprland wants it; the events come on `.socket2.sock`. The
// only waits are bounded: for the answers after connecting (2 s at startup, 250 ms later)
// and for those asked for after an event (250 ms). A lost event connection drops the view;
// the next call connects again.
#pragma once

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::hyprland {

// Whether HYPRLAND_INSTANCE_SIGNATURE names an instance whose sockets exist.
bool sessionHasHyprland();

// Nothing while Hyprland cannot be reached. Valid until the next call.
const compositor::View* currentView();
void takeInArrived();

}  // namespace observer::platform::hyprland

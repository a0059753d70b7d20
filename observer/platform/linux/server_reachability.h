// What the log says about the servers the Linux backend asks: once, the first time a
// server cannot be reached, why; and once each time a server that was unreachable or
// lost answers again. Losing a server later is not logged: queries fail as they always
// did, and the line about its return tells the rest.
#pragma once

#include <string_view>

namespace observer::platform::reachability {

// A Wayland session's compositor source is a server of its own: sway's or Hyprland's IPC,
// KWin through its script or GNOME Shell through quorvel's extension on the session bus,
// or the toplevel list of another wlroots compositor on its Wayland socket.
enum class Server { sound, x, sway, hyprland, kwin, gnomeShell, wayland, count };

// A connection attempt failed for `reason`.
void unreachable(Server server, std::string_view reason);
// An open connection broke.
void lost(Server server);
// A connection is open and its mirror is built.
void reached(Server server);

}  // namespace observer::platform::reachability

// Diagnostic lines about the servers, in the observer's log frame, each one write.
#include "observer/platform/linux/server_reachability.h"

#include <string>

#include "observer/platform/standard_streams.h"

namespace observer::platform::reachability {
namespace {

enum class Seen { never, up, down };

Seen seen[static_cast<int>(Server::count)] = {};

Seen& stateOf(Server server) {
    return seen[static_cast<int>(server)];
}

const char* nameOf(Server server) {
    switch (server) {
        case Server::sound: return "sound server";
        case Server::x: return "X server";
        case Server::sway: return "sway";
        case Server::hyprland: return "Hyprland";
        case Server::kwin: return "KWin";
        case Server::gnomeShell: return "GNOME Shell";
        case Server::wayland: return "Wayland compositor";
        case Server::count: break;
    }
    return "server";
}

}  // namespace

void unreachable(Server server, std::string_view reason) {
    Seen& state = stateOf(server);
    if (state == Seen::never) writeDiagnosticMessage(std::string(nameOf(server)) + " unreachable: " + std::string(reason));
    state = Seen::down;
}

void lost(Server server) {
    Seen& state = stateOf(server);
    if (state == Seen::up) state = Seen::down;
}

void reached(Server server) {
    Seen& state = stateOf(server);
    if (state == Seen::down) writeDiagnosticMessage(std::string(nameOf(server)) + " reachable again");
    state = Seen::up;
}

}  // namespace observer::platform::reachability

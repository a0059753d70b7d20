// Diagnostic lines about the servers, in the observer's log frame, each one write.
#include "observer/platform/linux/server_reachability.h"

#include <string>

#include "observer/platform/standard_streams.h"

namespace observer::platform::reachability {
namespace {

enum class Seen { never, up, down };

Seen seen[2] = {Seen::never, Seen::never};

Seen& stateOf(Server server) {
    return seen[server == Server::sound ? 0 : 1];
}

const char* nameOf(Server server) {
    return server == Server::sound ? "sound server" : "X server";
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

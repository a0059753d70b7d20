// Diagnostic lines about the servers, framed as every other log line and written with
// one write.
#include "observer/platform/linux/server_reachability.h"

#include <string>

#include "observer/platform/local_time.h"
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

void log(std::string_view message) {
    std::string line = "[";
    line += localTimeOfDay();
    line += "] ";
    line += message;
    line += '\n';
    writeDiagnosticLine(line);
}

}  // namespace

void unreachable(Server server, std::string_view reason) {
    Seen& state = stateOf(server);
    if (state == Seen::never) log(std::string(nameOf(server)) + " unreachable: " + std::string(reason));
    state = Seen::down;
}

void lost(Server server) {
    Seen& state = stateOf(server);
    if (state == Seen::up) state = Seen::down;
}

void reached(Server server) {
    Seen& state = stateOf(server);
    if (state == Seen::down) log(std::string(nameOf(server)) + " reachable again");
    state = Seen::up;
}

}  // namespace observer::platform::reachability

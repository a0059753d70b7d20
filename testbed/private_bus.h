// Private message buses for the tests' servers that live on one (KWin, GNOME Shell), and
// blocking calls on them: each on a connection of its own, answered within two seconds
// or failed.
#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "testbed/child_process.h"

namespace testbed {

// A dbus-daemon listening at `socketPath`, up once it answers; a child that is not running
// when it did not come up. The services it starts get `environment`.
Child startPrivateBus(const std::string& socketPath, const std::string& log,
                      const std::vector<std::pair<std::string, std::string>>& environment = {});
inline std::string busAddressOf(const std::string& socketPath) {
    return "unix:path=" + socketPath;
}

struct BusCall {
    std::string destination;
    std::string path;
    std::string interface;
    std::string member;
    std::string argument;  // one string argument; none when empty
};

// False when the bus or the callee fails, or `read` does not accept the answer.
bool callOnBus(const std::string& address, const BusCall& call, const std::function<bool(sd_bus_message*)>& read);
// A call whose answer is one boolean, true.
bool answersTrue(const std::string& address, const BusCall& call);
bool ownsName(const std::string& address, const std::string& name);

}  // namespace testbed

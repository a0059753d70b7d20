// A connection to the session's message bus (DBUS_SESSION_BUS_ADDRESS, else the bus in
// XDG_RUNTIME_DIR), used without blocking: calls go out at once, their answers and the
// bus's messages are taken in when `takeInArrived` or `waitUntil` dispatches them, and the
// only waits are bounded by a deadline.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace observer::platform::bus {

class SessionBus {
public:
    using Clock = std::chrono::steady_clock;

    // Connected and greeted by the bus before `deadline`, else nothing and why in `failure`.
    static std::unique_ptr<SessionBus> connect(Clock::time_point deadline, std::string& failure);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    sd_bus* get() const { return bus_; }
    // The name the bus gave this connection, as others address it.
    const std::string& uniqueName() const { return uniqueName_; }

    // Dispatches what has arrived; false once the connection is broken.
    bool takeInArrived();
    // Dispatches until `done()` holds or the deadline passes; false once the connection is
    // broken.
    bool waitUntil(Clock::time_point deadline, const std::function<bool()>& done);

private:
    explicit SessionBus(sd_bus* bus) : bus_(bus) {}

    sd_bus* bus_;
    std::string uniqueName_;
};

// The error of a failed call, as a reason for the log: its message, else its name.
std::string reasonOf(sd_bus_message* reply);

}  // namespace observer::platform::bus

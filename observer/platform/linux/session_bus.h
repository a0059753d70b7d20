// A connection to the session's message bus (DBUS_SESSION_BUS_ADDRESS, else the bus in
// XDG_RUNTIME_DIR), used without blocking: requests go out at once, answers and the bus's
// messages are dispatched when `takeInArrived` or a call's wait runs, and every wait is
// bounded by a deadline.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace observer::platform::bus {

using Clock = std::chrono::steady_clock;

// A call's answer: its first argument when that is a string or a 32-bit integer.
struct Answer {
    bool answered = false;
    std::string failure;  // the error's message; empty when the call succeeded
    std::string text;
    std::int32_t number = 0;
    bool succeeded() const { return answered && failure.empty(); }
};

struct Call {
    const char* destination;
    const char* path;
    const char* interface;
    const char* member;
    // Appends the call's arguments; nothing to append when empty.
    std::function<bool(sd_bus_message*)> arguments = {};
};

class SessionBus {
public:
    // Connected and greeted by the bus before `deadline`, else nothing and why in `failure`.
    static std::unique_ptr<SessionBus> connect(Clock::time_point deadline, std::string& failure);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // The name the bus gave this connection, as others address it.
    const std::string& uniqueName() const { return uniqueName_; }

    // Dispatches what has arrived; false once the connection is broken.
    bool takeInArrived();
    // Dispatches until `done()` holds or the deadline passes; false once the connection is
    // broken.
    bool waitUntil(Clock::time_point deadline, const std::function<bool()>& done);

    // Waits for the answer until the deadline, or until `enough()` holds; an answer that
    // comes later is dropped. Not answered when the request could not go out.
    Answer call(const Call& call, Clock::time_point deadline, const std::function<bool()>& enough = {});
    // Sends the request and drops its answer; false when it could not go out.
    bool send(const Call& call);
    // The unique name that owns `name` by the deadline; nothing, with why, otherwise.
    std::optional<std::string> ownerOf(const char* name, Clock::time_point deadline, std::string& failure);

    // `handler` runs with `data` for each message of its kind that arrives, for the
    // connection's life.
    bool onOwnerChange(const char* name, sd_bus_message_handler_t handler, void* data);
    bool onSignal(const char* path, const char* interface, const char* member, sd_bus_message_handler_t handler,
                  void* data);
    bool onCallsTo(const char* path, sd_bus_message_handler_t handler, void* data);

private:
    explicit SessionBus(sd_bus* bus) : bus_(bus) {}
    sd_bus_message* request(const Call& call);

    sd_bus* bus_;
    std::string uniqueName_;
};

// The return value of a handler that has answered the call: sd-bus answers a call that no
// handler took with an error of its own.
int answered(int replied);

}  // namespace observer::platform::bus

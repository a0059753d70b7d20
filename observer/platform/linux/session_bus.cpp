// sd-bus with its connection made by hand, so that nothing waits: sd_bus_start only
// connects the socket, and the authentication and the bus's greeting are dispatched like
// any other answer.
#include "observer/platform/linux/session_bus.h"

#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace observer::platform::bus {
namespace {

std::string sessionBusAddress() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return address;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return std::string("unix:path=") + runtime + "/bus";
    return "";
}

std::string describe(int negativeErrno) {
    return std::strerror(-negativeErrno);
}

}  // namespace

std::unique_ptr<SessionBus> SessionBus::connect(Clock::time_point deadline, std::string& failure) {
    const std::string address = sessionBusAddress();
    if (address.empty()) {
        failure = "no session bus (neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set)";
        return nullptr;
    }
    sd_bus* raw = nullptr;
    if (const int made = sd_bus_new(&raw); made < 0) {
        failure = "no session bus (" + describe(made) + ")";
        return nullptr;
    }
    std::unique_ptr<SessionBus> connection(new SessionBus(raw));
    sd_bus_set_address(raw, address.c_str());
    sd_bus_set_bus_client(raw, 1);
    if (const int started = sd_bus_start(raw); started < 0) {
        failure = "no session bus at " + address + " (" + describe(started) + ")";
        return nullptr;
    }
    const bool ready = connection->waitUntil(deadline, [raw] { return sd_bus_is_ready(raw) > 0; });
    const char* unique = nullptr;
    if (!ready || sd_bus_is_ready(raw) <= 0 || sd_bus_get_unique_name(raw, &unique) < 0 || unique == nullptr) {
        failure = "the session bus at " + address + " did not greet us in time";
        return nullptr;
    }
    connection->uniqueName_ = unique;
    return connection;
}

SessionBus::~SessionBus() {
    // Closes without waiting for what is still queued to go out.
    sd_bus_close(bus_);
    sd_bus_unref(bus_);
}

bool SessionBus::takeInArrived() {
    for (;;) {
        const int processed = sd_bus_process(bus_, nullptr);
        if (processed < 0) return false;
        if (processed == 0) return sd_bus_is_open(bus_) > 0;
    }
}

bool SessionBus::waitUntil(Clock::time_point deadline, const std::function<bool()>& done) {
    for (;;) {
        if (!takeInArrived()) return false;
        if (done()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return true;
        const int events = sd_bus_get_events(bus_);
        if (events < 0) return false;
        pollfd watched{sd_bus_get_fd(bus_), static_cast<short>(events), 0};
        if (::poll(&watched, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
    }
}

std::string reasonOf(sd_bus_message* reply) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    if (error == nullptr) return "no answer";
    if (error->message != nullptr && *error->message != '\0') return error->message;
    return error->name != nullptr ? error->name : "an error without a name";
}

}  // namespace observer::platform::bus

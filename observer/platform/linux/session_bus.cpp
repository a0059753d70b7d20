// sd-bus with its connection made by hand, so that nothing waits: sd_bus_start only
// connects the socket, and the authentication and the bus's greeting are dispatched like
// any other answer. Handlers run only inside sd_bus_process, which only this connection's
// calls run; a call's pending answer is cancelled when its wait ends, so an Answer lives on
// the waiting call's stack.
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

std::string reasonOf(sd_bus_message* reply) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    if (error == nullptr) return "no answer";
    if (error->message != nullptr && *error->message != '\0') return error->message;
    return error->name != nullptr ? error->name : "an error without a name";
}

int takeAnswer(sd_bus_message* reply, void* data, sd_bus_error*) {
    Answer& answer = *static_cast<Answer*>(data);
    answer.answered = true;
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        answer.failure = reasonOf(reply);
        return 0;
    }
    char kind = 0;
    if (sd_bus_message_peek_type(reply, &kind, nullptr) <= 0) return 0;
    if (kind == SD_BUS_TYPE_STRING) {
        const char* value = nullptr;
        if (sd_bus_message_read_basic(reply, SD_BUS_TYPE_STRING, &value) > 0 && value != nullptr) answer.text = value;
    } else if (kind == SD_BUS_TYPE_INT32) {
        sd_bus_message_read_basic(reply, SD_BUS_TYPE_INT32, &answer.number);
    }
    return 0;
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

sd_bus_message* SessionBus::request(const Call& call) {
    sd_bus_message* message = nullptr;
    if (sd_bus_message_new_method_call(bus_, &message, call.destination, call.path, call.interface, call.member) < 0)
        return nullptr;
    if (call.arguments && !call.arguments(message)) return sd_bus_message_unref(message);
    return message;
}

Answer SessionBus::call(const Call& call, Clock::time_point deadline, const std::function<bool()>& enough) {
    Answer answer;
    sd_bus_message* message = request(call);
    sd_bus_slot* pending = nullptr;
    const bool sent = message != nullptr && sd_bus_call_async(bus_, &pending, message, takeAnswer, &answer, 0) >= 0;
    sd_bus_message_unref(message);
    if (sent) waitUntil(deadline, [&] { return answer.answered || (enough && enough()); });
    sd_bus_slot_unref(pending);
    return answer;
}

bool SessionBus::send(const Call& call) {
    sd_bus_message* message = request(call);
    const bool sent = message != nullptr && sd_bus_message_set_expect_reply(message, 0) >= 0 &&
                      sd_bus_send(bus_, message, nullptr) >= 0;
    sd_bus_message_unref(message);
    return sent;
}

std::optional<std::string> SessionBus::ownerOf(const char* name, Clock::time_point deadline, std::string& failure) {
    const Answer owner = call({"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
                               [name](sd_bus_message* m) { return sd_bus_message_append(m, "s", name) >= 0; }},
                              deadline);
    if (owner.succeeded() && !owner.text.empty()) return owner.text;
    failure = owner.answered ? std::string(name) + " is not on the session bus"
                             : "the session bus did not answer in time";
    return std::nullopt;
}

bool SessionBus::onOwnerChange(const char* name, sd_bus_message_handler_t handler, void* data) {
    const std::string match = std::string("type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                                          "member='NameOwnerChanged',arg0='") + name + "'";
    return sd_bus_add_match_async(bus_, nullptr, match.c_str(), handler, nullptr, data) >= 0;
}

bool SessionBus::onSignal(const char* path, const char* interface, const char* member,
                          sd_bus_message_handler_t handler, void* data) {
    return sd_bus_match_signal_async(bus_, nullptr, nullptr, path, interface, member, handler, nullptr, data) >= 0;
}

bool SessionBus::onCallsTo(const char* path, sd_bus_message_handler_t handler, void* data) {
    return sd_bus_add_object(bus_, nullptr, path, handler, data) >= 0;
}

int answered(int replied) {
    return replied < 0 ? replied : 1;
}

}  // namespace observer::platform::bus

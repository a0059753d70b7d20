#include "testbed/private_bus.h"

#include <chrono>

namespace testbed {

Child startPrivateBus(const std::string& socketPath, const std::string& log,
                      const std::vector<std::pair<std::string, std::string>>& environment) {
    Launch bus;
    bus.arguments = {"dbus-daemon", "--session", "--address=" + busAddressOf(socketPath), "--nofork", "--nopidfile"};
    bus.environment = environment;
    bus.error = Stream::file(log);
    Child daemon(bus);
    eventually([&] { return !daemon.running() || ownsName(busAddressOf(socketPath), "org.freedesktop.DBus"); },
               std::chrono::seconds(10));
    if (daemon.running() && !ownsName(busAddressOf(socketPath), "org.freedesktop.DBus")) daemon.stop();
    return daemon;
}

bool callOnBus(const std::string& address, const BusCall& call, const std::function<bool(sd_bus_message*)>& read) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return false;
    sd_bus_message* request = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const bool called =
        sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
        sd_bus_set_method_call_timeout(bus, 2'000'000) >= 0 &&
        sd_bus_message_new_method_call(bus, &request, call.destination.c_str(), call.path.c_str(),
                                       call.interface.c_str(), call.member.c_str()) >= 0 &&
        (call.argument.empty() || sd_bus_message_append(request, "s", call.argument.c_str()) >= 0) &&
        sd_bus_call(bus, request, 0, &error, &reply) >= 0;
    const bool answered = called && read(reply);
    sd_bus_error_free(&error);
    sd_bus_message_unref(request);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return answered;
}

bool answersTrue(const std::string& address, const BusCall& call) {
    int value = 0;
    return callOnBus(address, call, [&](sd_bus_message* reply) { return sd_bus_message_read(reply, "b", &value) >= 0; }) &&
           value != 0;
}

bool ownsName(const std::string& address, const std::string& name) {
    return answersTrue(address, {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner", name});
}

}  // namespace testbed

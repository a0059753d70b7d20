// KWin is up once it owns its name on the bus and has started XWayland, which it shows by
// starting the one application it is given: a shell that writes down the display.
#include "testbed/kwin_compositor.h"

#include <sys/stat.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <filesystem>

namespace testbed {
namespace {

using namespace std::chrono_literals;

constexpr const char* socketName = "wayland-kwin";

// One blocking call on a connection of its own; false when the bus or the callee fails.
template <typename Read>
bool callOnce(const std::string& address, const char* destination, const char* path, const char* interface,
              const char* member, const char* signature, const char* argument, Read read) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return false;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const bool called = sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 &&
                        sd_bus_start(bus) >= 0 && sd_bus_set_method_call_timeout(bus, 2'000'000) >= 0 &&
                        sd_bus_call_method(bus, destination, path, interface, member, &error, &reply, signature,
                                           argument) >= 0;
    const bool answered = called && read(reply);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return answered;
}

bool ownsName(const std::string& address, const char* name) {
    int owned = 0;
    return callOnce(address, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                    "s", name, [&](sd_bus_message* reply) { return sd_bus_message_read(reply, "b", &owned) >= 0; }) &&
           owned != 0;
}

}  // namespace

KWin::KWin(std::string directory, std::string runtime)
    : directory_(std::move(directory)),
      runtime_(std::move(runtime)),
      busAddress_("unix:path=" + runtime_ + "/bus"),
      waylandDisplay_(runtime_ + "/" + socketName) {}

KWin::~KWin() {
    stop();
    bus_.stop();
}

std::unique_ptr<KWin> KWin::start(const std::string& directory) {
    const std::string runtime = directory + "/kwin-runtime";
    std::error_code failed;
    std::filesystem::create_directories(runtime, failed);
    if (failed || ::chmod(runtime.c_str(), 0700) != 0) return nullptr;
    // A copy carries no file capability.
    std::filesystem::copy_file("/usr/bin/kwin_wayland", directory + "/kwin_wayland", failed);
    if (failed) return nullptr;
    std::unique_ptr<KWin> kwin(new KWin(directory, runtime));
    if (!kwin->startBus() || !kwin->launch()) return nullptr;
    return kwin;
}

bool KWin::startBus() {
    Launch bus;
    bus.arguments = {"dbus-daemon", "--session", "--address=" + busAddress_, "--nofork", "--nopidfile"};
    bus.error = Stream::file(directory_ + "/kwin-dbus.log");
    bus_ = Child(bus);
    return eventually([&] { return !bus_.running() || ownsName(busAddress_, "org.freedesktop.DBus"); }, 10s) &&
           bus_.running();
}

bool KWin::launch() {
    const std::string displayFile = runtime_ + "/display";
    std::filesystem::remove(displayFile);
    Launch launch;
    launch.arguments = {directory_ + "/kwin_wayland", "--virtual", "--xwayland", "--no-lockscreen",
                        "--no-global-shortcuts", "--no-kactivities", "--socket", socketName, "--width", "1280",
                        "--height", "800",
                        "sh -c 'echo \"$DISPLAY $XAUTHORITY\" >" + displayFile + ".new && mv " + displayFile +
                            ".new " + displayFile + "'"};
    launch.environment = {{"HOME", directory_},
                          {"XDG_RUNTIME_DIR", runtime_},
                          {"XDG_CONFIG_HOME", directory_ + "/kwin-config"},
                          {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
                          {"QT_LOGGING_RULES", "js=true;kwin_scripting.debug=true"}};
    launch.unsetEnvironment = {"WAYLAND_DISPLAY", "DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY"};
    launch.error = Stream::file(directory_ + "/kwin.log");
    process_ = Child(launch);
    if (!eventually([&] { return !process_.running() || std::filesystem::exists(displayFile); }, 20s) ||
        !process_.running())
        return false;
    const std::string written = readFile(displayFile);
    const auto space = written.find(' ');
    xDisplay_ = written.substr(0, space);
    xAuthority_ = space == std::string::npos ? "" : written.substr(space + 1, written.find('\n') - space - 1);
    return !xDisplay_.empty() && ownsName(busAddress_, "org.kde.KWin");
}

Environment KWin::environment() const {
    return {{"WAYLAND_DISPLAY", waylandDisplay_},
            {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
            {"DISPLAY", xDisplay_},
            {"XAUTHORITY", xAuthority_}};
}

std::optional<bool> KWin::scriptLoaded(const std::string& pluginName) const {
    int loaded = 0;
    if (!callOnce(busAddress_, "org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded", "s",
                  pluginName.c_str(),
                  [&](sd_bus_message* reply) { return sd_bus_message_read(reply, "b", &loaded) >= 0; }))
        return std::nullopt;
    return loaded != 0;
}

void KWin::stop() {
    process_.stop();
}

bool KWin::restart() {
    stop();
    return launch();
}

}  // namespace testbed

// KWin is up once it owns its name on the bus and has started XWayland, which it shows by
// starting the one application it is given: a shell that writes down the display.
#include "testbed/kwin_compositor.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "testbed/private_bus.h"

namespace testbed {
namespace {

using namespace std::chrono_literals;

constexpr const char* socketName = "wayland-kwin";

}  // namespace

KWin::KWin(std::string directory, std::string runtime)
    : directory_(std::move(directory)),
      runtime_(std::move(runtime)),
      busAddress_(busAddressOf(runtime_ + "/bus")),
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
    bus_ = startPrivateBus(runtime_ + "/bus", directory_ + "/kwin-dbus.log");
    return bus_.running();
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
    if (!callOnBus(busAddress_, {"org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded", pluginName},
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

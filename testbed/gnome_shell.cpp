// GNOME Shell is up once the desk extension says the shell has started and left the
// overview, and quorvel's extension, when enabled, owns its name.
#include "testbed/gnome_shell.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "testbed/private_bus.h"

namespace testbed {
namespace {

using namespace std::chrono_literals;

constexpr const char* socketName = "wayland-gnome";
constexpr const char* deskUuid = "quorvel-test-desk@quorvel";

BusCall desk(const char* member, std::string argument = "") {
    return {"org.quorvel.TestDesk", "/org/quorvel/TestDesk", "org.quorvel.TestDesk", member, std::move(argument)};
}

// A desk method's one string answer; empty when it gives none.
std::string deskText(const std::string& address, const char* member) {
    std::string answer;
    callOnBus(address, desk(member), [&](sd_bus_message* reply) {
        const char* text = nullptr;
        if (sd_bus_message_read(reply, "s", &text) < 0 || text == nullptr) return false;
        answer = text;
        return true;
    });
    return answer;
}

}  // namespace

GnomeShell::GnomeShell(std::string directory, std::string runtime, bool withQuorvelExtension)
    : directory_(std::move(directory)),
      runtime_(std::move(runtime)),
      home_(directory_ + "/gnome-home"),
      busAddress_(busAddressOf(runtime_ + "/bus")),
      waylandDisplay_(runtime_ + "/" + socketName),
      withQuorvelExtension_(withQuorvelExtension) {}

GnomeShell::~GnomeShell() {
    stop();
    sessionBus_.stop();
    systemBus_.stop();
}

std::unique_ptr<GnomeShell> GnomeShell::start(const std::string& directory, bool withQuorvelExtension) {
    std::unique_ptr<GnomeShell> shell(new GnomeShell(directory, directory + "/gnome-runtime", withQuorvelExtension));
    if (!shell->prepare() || !shell->launch()) return nullptr;
    return shell;
}

bool GnomeShell::prepare() {
    std::error_code failed;
    const std::string extensions = home_ + "/.local/share/gnome-shell/extensions";
    std::filesystem::create_directories(runtime_, failed);
    std::filesystem::create_directories(extensions, failed);
    std::filesystem::create_directories(home_ + "/.config/glib-2.0/settings", failed);
    if (failed || ::chmod(runtime_.c_str(), 0700) != 0) return false;
    const auto copy = std::filesystem::copy_options::recursive;
    std::filesystem::copy(TEST_DESK_PATH, extensions + "/" + deskUuid, copy, failed);
    if (failed) return false;
    std::string enabled = "'" + std::string(deskUuid) + "'";
    if (withQuorvelExtension_) {
        std::filesystem::copy(std::string(SHELL_EXTENSIONS_PATH) + "/42-44/" + SHELL_EXTENSION_UUID,
                              extensions + "/" + SHELL_EXTENSION_UUID, copy, failed);
        if (failed) return false;
        enabled += ", '" + std::string(SHELL_EXTENSION_UUID) + "'";
    }
    std::ofstream settings(home_ + "/.config/glib-2.0/settings/keyfile");
    settings << "[org/gnome/shell]\nenabled-extensions=[" << enabled << "]\n";
    if (!settings) return false;
    systemBus_ = startPrivateBus(runtime_ + "/system_bus", directory_ + "/gnome-system-bus.log");
    sessionBus_ = startPrivateBus(runtime_ + "/bus", directory_ + "/gnome-session-bus.log");
    return systemBus_.running() && sessionBus_.running();
}

bool GnomeShell::launch() {
    Launch launch;
    launch.arguments = {"gnome-shell", "--headless", "--wayland", "--virtual-monitor", "1280x800", "--wayland-display",
                        socketName};
    launch.environment = {{"HOME", home_},
                          {"XDG_RUNTIME_DIR", runtime_},
                          {"XDG_CONFIG_HOME", home_ + "/.config"},
                          {"XDG_DATA_HOME", home_ + "/.local/share"},
                          {"GSETTINGS_BACKEND", "keyfile"},
                          {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
                          {"DBUS_SYSTEM_BUS_ADDRESS", busAddressOf(runtime_ + "/system_bus")},
                          {"NO_AT_BRIDGE", "1"}};
    launch.unsetEnvironment = {"WAYLAND_DISPLAY", "DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY"};
    launch.error = Stream::file(directory_ + "/gnome-shell.log");
    process_ = Child(launch);
    const auto up = [&] {
        return answersTrue(busAddress_, desk("Ready")) &&
               (!withQuorvelExtension_ || ownsName(busAddress_, "org.quorvel.ShellWindows"));
    };
    if (!eventually([&] { return !process_.running() || up(); }, 30s) || !process_.running()) return false;
    // Mutter starts XWayland when its first X client connects, on a display it has set up.
    const std::string display = deskText(busAddress_, "XDisplay");
    const auto space = display.find(' ');
    xDisplay_ = display.substr(0, space);
    xAuthority_ = space == std::string::npos ? "" : display.substr(space + 1);
    return !xDisplay_.empty();
}

Environment GnomeShell::environment() const {
    return {{"WAYLAND_DISPLAY", waylandDisplay_},
            {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
            {"DISPLAY", xDisplay_},
            {"XAUTHORITY", xAuthority_}};
}

std::string GnomeShell::focused() const {
    return deskText(busAddress_, "Focused");
}

bool GnomeShell::activate(const std::string& title) const {
    // A window just opened may not be managed yet: activated again until it has the focus.
    return eventually(
        [&] {
            return focused() == title || (answersTrue(busAddress_, desk("Activate", title)) &&
                                          eventually([&] { return focused() == title; }, 1s));
        },
        5s);
}

void GnomeShell::stop() {
    process_.stop();
}

bool GnomeShell::restart() {
    stop();
    return launch();
}

}  // namespace testbed

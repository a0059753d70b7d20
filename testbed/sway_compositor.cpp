// sway started through setpriv, which takes on the compositor user's identity and keeps
// the parent-death signal that a change of user would otherwise clear.
#include "testbed/sway_compositor.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace testbed {
namespace {

using namespace std::chrono_literals;

// Lets the compositor user reach its runtime directory through the test's private one.
bool prepareRuntimeDirectory(const std::string& directory, const std::string& runtime, const passwd& user) {
    std::error_code failed;
    std::filesystem::create_directories(runtime, failed);
    if (failed || ::chmod(directory.c_str(), 0711) != 0) return false;
    if (::chown(runtime.c_str(), user.pw_uid, user.pw_gid) != 0 || ::chmod(runtime.c_str(), 0700) != 0) return false;
    // No bar and no wallpaper: nothing but the windows of the tests. XWayland lets in the
    // tests' X clients, which run as root, and its display is written down for them.
    std::ofstream config(runtime + "/config");
    config << "xwayland enable\n"
           << "exec sh -c 'xhost +si:localuser:root >/dev/null && echo \"$DISPLAY\" >" << runtime
           << "/display.new && mv " << runtime << "/display.new " << runtime << "/display'\n";
    return static_cast<bool>(config);
}

// sway names its Wayland socket "wayland-N" after the first number free in the runtime
// directory.
std::string waylandSocketIn(const std::string& runtime) {
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator(runtime, failed)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("wayland-", 0) == 0 && entry.is_socket(failed)) return entry.path().string();
    }
    return "";
}

}  // namespace

Sway::Sway(std::string runtimeDirectory)
    : runtimeDirectory_(std::move(runtimeDirectory)), ipcSocket_(runtimeDirectory_ + "/sway-ipc.sock") {}

std::unique_ptr<Sway> Sway::start(const std::string& directory) {
    const passwd* user = ::getpwnam(compositorUser);
    if (user == nullptr) return nullptr;
    const std::string runtime = directory + "/sway-runtime";
    if (!prepareRuntimeDirectory(directory, runtime, *user)) return nullptr;
    std::unique_ptr<Sway> sway(new Sway(runtime));
    if (!sway->launch()) return nullptr;
    return sway;
}

bool Sway::launch() {
    Launch launch;
    launch.arguments = {"setpriv", "--reuid", compositorUser, "--regid", compositorUser, "--init-groups",
                        "--pdeathsig", "KILL", "sway", "--config", runtimeDirectory_ + "/config"};
    launch.environment = {{"HOME", runtimeDirectory_},
                          {"XDG_RUNTIME_DIR", runtimeDirectory_},
                          {"SWAYSOCK", ipcSocket_},
                          {"WLR_BACKENDS", "headless"},
                          {"WLR_LIBINPUT_NO_DEVICES", "1"},
                          {"WLR_RENDERER", "pixman"}};
    launch.unsetEnvironment = {"WAYLAND_DISPLAY", "DISPLAY", "WAYLAND_SOCKET"};
    launch.error = Stream::file(runtimeDirectory_ + "/sway.log");
    process_ = Child(launch);
    // Up once its IPC answers; by then its Wayland socket is in place.
    if (!eventually([&] { return !process_.running() || command("nop"); }, 10s) || !process_.running()) return false;
    waylandDisplay_ = waylandSocketIn(runtimeDirectory_);
    // XWayland is up once it has let root in.
    const std::string displayFile = runtimeDirectory_ + "/display";
    std::filesystem::remove(displayFile);
    if (!eventually([&] { return std::filesystem::exists(displayFile); }, 10s)) return false;
    const std::string display = readFile(displayFile);
    xDisplay_ = display.substr(0, display.find('\n'));
    return !waylandDisplay_.empty() && !xDisplay_.empty();
}

Environment Sway::environment() const {
    return {{"SWAYSOCK", ipcSocket_}, {"WAYLAND_DISPLAY", waylandDisplay_}, {"DISPLAY", xDisplay_}};
}

bool Sway::command(const std::string& text) const {
    Launch launch;
    launch.arguments = {"swaymsg", "--quiet", text};
    launch.environment = {{"SWAYSOCK", ipcSocket_}};
    launch.error = Stream::devNull();
    Child client(launch);
    const auto ended = client.waitForExit(5s);
    return ended && ended->exited && ended->status == 0;
}

void Sway::stop() {
    process_.stop();
}

bool Sway::restart() {
    stop();
    return launch();
}

}  // namespace testbed

#include "bench/world/private_desktop.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/world/process_readings.h"

namespace bench::world {

using namespace testbed;
using namespace std::chrono_literals;

bool PrivateDesktop::start() {
    const std::string& dir = directory_.path();
    x_ = startXServer(dir);
    if (!x_) return false;
    manager_ = startWindowManager(x_->display, dir);
    sound_ = startSoundServer(dir);
    if (!manager_ || !sound_) return false;
    ::setenv("PULSE_SERVER", sound_->address().c_str(), 1);
    ::setenv("DISPLAY", x_->display.c_str(), 1);
    std::filesystem::create_directories(dir + "/data/applications");
    std::ofstream(dir + "/data/applications/us.zoom.Zoom.desktop")
        << "[Desktop Entry]\nType=Application\nName=Zoom\nStartupWMClass=zoom\n";
    return true;
}

std::string PrivateDesktop::eventsPath() const {
    return directory_.path() + "/events";
}

std::string PrivateDesktop::logPath() const {
    return directory_.path() + "/log";
}

std::vector<std::pair<std::string, std::string>> PrivateDesktop::environment() const {
    const std::string& dir = directory_.path();
    return {{"DISPLAY", x_->display},
            {"PULSE_SERVER", sound_->address()},
            {"HOME", dir},
            {"XDG_DATA_HOME", dir + "/data-home"},
            {"XDG_DATA_DIRS", dir + "/data"}};
}

Launch PrivateDesktop::recorder(const std::string& source) const {
    Launch launch;
    launch.arguments = {"parec", "-d", source};
    launch.environment = environment();
    return launch;
}

SoundClient PrivateDesktop::soundClient(int index) const {
    if (index % 3 == 2) return SoundClient(std::in_place_type<ForkedChild>, runThisProgram({corkedRecorderRole}));
    return SoundClient(std::in_place_type<Child>, recorder(index % 3 == 0 ? "mic0" : "spk0.monitor"));
}

std::unique_ptr<Actor> PrivateDesktop::startMeeting() const {
    auto meeting = startActor(directory_.path(), "meeting_actor", environment());
    if (!meeting || !meeting->command("window zoom zoom Zoom Meeting") || !meeting->command("activate") ||
        !meeting->command("record mic0"))
        return nullptr;
    return meeting;
}

HostedQuorvel PrivateDesktop::startQuorvel(const std::string& program) const {
    HostedQuorvel hosted;
    hosted.host = startActor(directory_.path(), "quorvel_host", environment());
    std::string command = "host ";
    command += program;
    command += ' ';
    command += eventsPath();
    command += ' ';
    command += logPath();
    if (!hosted.host || !hosted.host->command(command)) {
        hosted.host.reset();
        return hosted;
    }
    hosted.pid = childNamed(hosted.host->pid, std::filesystem::path(program).filename().string());
    return hosted;
}

void PrivateDesktop::settle() const {
    const pid_t manager = manager_->pid();
    for (int second = 0; second < 90; ++second) {
        const double before = cpuSeconds(xServerPid()) + cpuSeconds(manager);
        std::this_thread::sleep_for(1s);
        if (cpuSeconds(xServerPid()) + cpuSeconds(manager) - before < 0.01) break;
    }
    std::this_thread::sleep_for(2s);
}

}  // namespace bench::world

// Starting PulseAudio, or PipeWire with WirePlumber and pipewire-pulse, and waiting each
// time until the server itself answers, never for a fixed time.
#include "testbed/sound_servers.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string_view>

#include "testbed/private_bus.h"
#include "testbed/sound_census.h"

namespace testbed {
namespace {

using namespace std::chrono_literals;

bool accepts(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// Runs a client program of the server to its end.
bool run(std::vector<std::string> arguments, const Environment& environment, const std::string& log) {
    Launch launch;
    launch.arguments = std::move(arguments);
    launch.environment = environment;
    launch.error = Stream::file(log);
    Child child(launch);
    const auto ended = child.waitForExit(10s);
    return ended && ended->exited && ended->status == 0;
}

// The devices of a PipeWire desktop belong to the PipeWire daemon, not to pipewire-pulse:
// nodes that linger after the program that made them has gone.
std::vector<std::string> nodeCommand(std::string_view name, std::string_view mediaClass, std::string_view positions) {
    std::string properties = "{ factory.name=support.null-audio-sink node.name=";
    properties += name;
    properties += " node.description=";
    properties += name;
    properties += " media.class=";
    properties += mediaClass;
    properties += " audio.position=[";
    properties += positions;
    properties += "] object.linger=true }";
    return {"pw-cli", "create-node", "adapter", properties};
}

}  // namespace

SoundStack defaultSoundStack() {
    const char* named = std::getenv("QUORVEL_TEST_SOUND_STACK");
    return named != nullptr && std::string_view(named) == "pipewire" ? SoundStack::pipeWire : SoundStack::pulseAudio;
}

const char* nameOf(SoundStack stack) {
    return stack == SoundStack::pipeWire ? "PipeWire" : "PulseAudio";
}

namespace {

std::string runtimeDirectory(const std::string& directory, SoundStack stack) {
    return directory + (stack == SoundStack::pipeWire ? "/pipewire" : "/pulse");
}

}  // namespace

std::string soundServerAddress(const std::string& directory, SoundStack stack) {
    return "unix:" + runtimeDirectory(directory, stack) + (stack == SoundStack::pipeWire ? "/pulse/native" : "/native");
}

Environment soundServerEnvironment(const std::string& directory, SoundStack stack) {
    Environment environment{{"PULSE_SERVER", soundServerAddress(directory, stack)}};
    if (stack == SoundStack::pipeWire) {
        const std::string runtime = runtimeDirectory(directory, stack);
        environment.emplace_back("PIPEWIRE_RUNTIME_DIR", runtime);
        environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/bus");
    }
    return environment;
}

SoundServer::SoundServer(SoundStack stack, std::string directory)
    : stack_(stack),
      directory_(std::move(directory)),
      runtime_(runtimeDirectory(directory_, stack_)),
      address_(soundServerAddress(directory_, stack_)) {}

// The pulse server goes first, so that no client of its sees the others go.
SoundServer::~SoundServer() {
    pulseServer_.stop();
    sessionManager_.stop();
    pipeWire_.stop();
    bus_.stop();
}

Environment SoundServer::environment() const {
    return soundServerEnvironment(directory_, stack_);
}

bool SoundServer::answers() const {
    return defaultSource(address_, 2s) == std::optional<std::string>("mic0");
}

bool SoundServer::start() {
    std::error_code error;
    std::filesystem::create_directories(runtime_ + "/state", error);
    ::chmod(runtime_.c_str(), 0700);
    if (!(stack_ == SoundStack::pipeWire ? startPipeWire() : startPulseAudio())) return false;
    return eventually([&] { return answers(); }, 10s);
}

bool SoundServer::startPulseAudio() {
    return startPulseServer();
}

// The daemons of a PipeWire desktop, each in its own terms: the bus and PipeWire say they
// are ready, WirePlumber shows it by choosing the default source.
bool SoundServer::startPipeWire() {
    Environment environment = this->environment();
    environment.emplace_back("XDG_RUNTIME_DIR", runtime_);
    environment.emplace_back("HOME", directory_);
    environment.emplace_back("XDG_CONFIG_HOME", directory_ + "/config");
    environment.emplace_back("XDG_STATE_HOME", runtime_ + "/state");

    bus_ = startPrivateBus(runtime_ + "/bus", directory_ + "/dbus.log", environment);
    if (!bus_.running()) return false;

    Launch daemon;
    daemon.arguments = {"pipewire"};
    daemon.environment = environment;
    daemon.error = Stream::file(directory_ + "/pipewire.log");
    pipeWire_ = Child(daemon);
    if (!eventually([&] { return accepts(runtime_ + "/pipewire-0"); }, 10s)) return false;

    if (!run(nodeCommand("mic0", "Audio/Source/Virtual", "MONO"), environment, directory_ + "/pw-cli.log") ||
        !run(nodeCommand("spk0", "Audio/Sink", "FL FR"), environment, directory_ + "/pw-cli.log"))
        return false;
    return startSessionManager() && startPulseServer();
}

bool SoundServer::startSessionManager() {
    Launch manager;
    manager.arguments = {"wireplumber"};
    manager.environment = environment();
    manager.environment.emplace_back("XDG_RUNTIME_DIR", runtime_);
    manager.environment.emplace_back("HOME", directory_);
    manager.environment.emplace_back("XDG_STATE_HOME", runtime_ + "/state");
    manager.error = Stream::file(directory_ + "/wireplumber.log");
    sessionManager_ = Child(manager);
    return sessionManager_.running();
}

bool SoundServer::startPulseServer() {
    Launch launch;
    if (stack_ == SoundStack::pipeWire) {
        launch.arguments = {"pipewire-pulse"};
        launch.environment = environment();
        launch.environment.emplace_back("XDG_RUNTIME_DIR", runtime_);
        launch.environment.emplace_back("HOME", directory_);
        launch.error = Stream::file(directory_ + "/pipewire-pulse.log");
    } else {
        const std::string socketPath = runtime_ + "/native";
        launch.arguments = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                            "--disallow-exit", "--log-target=stderr", "-L",
                            "module-native-protocol-unix socket=" + socketPath + " auth-anonymous=1", "-L",
                            "module-null-source source_name=mic0 channels=1", "-L", "module-null-sink sink_name=spk0"};
        launch.environment = {{"PULSE_RUNTIME_PATH", runtime_}, {"PULSE_STATE_PATH", runtime_ + "/state"},
                              {"HOME", directory_}};
        launch.error = Stream::file(directory_ + "/pulseaudio.log");
    }
    pulseServer_ = Child(launch);
    return pulseServer_.running();
}

bool SoundServer::restart() {
    pulseServer_.stop();
    return startPulseServer() && eventually([&] { return answers(); }, 10s);
}

bool SoundServer::restartSessionManager() {
    if (stack_ != SoundStack::pipeWire) return false;
    sessionManager_.stop();
    return startSessionManager();
}

bool SoundServer::pactl(const std::vector<std::string>& arguments) const {
    std::vector<std::string> command{"pactl", "--server=" + address_};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return run(command, environment(), directory_ + "/pactl.log");
}

std::unique_ptr<SoundServer> startSoundServer(const std::string& directory, std::optional<SoundStack> stack) {
    auto server = std::make_unique<SoundServer>(stack.value_or(defaultSoundStack()), directory);
    if (!server->start()) return nullptr;
    return server;
}

}  // namespace testbed

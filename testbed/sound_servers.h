// Private sound servers for the tests, either of the two that Linux desktops run, each
// in a directory of the test's own and stopped when its handle goes away:
// - PulseAudio proper, with a virtual microphone "mic0" and a null sink "spk0";
// - PipeWire as desktops run it: a session bus, the PipeWire daemon, WirePlumber and
//   pipewire-pulse, with the same "mic0" and "spk0" as PipeWire nodes of their own, as a
//   desktop's devices are, so that they outlive a restart of pipewire-pulse.
// Either is started from the test, outside the process tree of the program that plays
// the host, as a desktop starts its servers.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testbed/child_process.h"

namespace testbed {

enum class SoundStack { pulseAudio, pipeWire };

// The stack that tests start unless they name one: QUORVEL_TEST_SOUND_STACK=pipewire or
// pulseaudio; PulseAudio without it.
SoundStack defaultSoundStack();
const char* nameOf(SoundStack stack);

using Environment = std::vector<std::pair<std::string, std::string>>;

// Where the server of `stack` kept in `directory` listens (for PULSE_SERVER), and what a
// client needs to reach it, a native PipeWire client included: known before the server
// runs, for a program that is to find it once it does.
std::string soundServerAddress(const std::string& directory, SoundStack stack);
Environment soundServerEnvironment(const std::string& directory, SoundStack stack);

class SoundServer {
public:
    SoundServer(SoundStack stack, std::string directory);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    SoundStack stack() const { return stack_; }
    // For PULSE_SERVER.
    const std::string& address() const { return address_; }
    // What a client needs to reach the server, a native PipeWire client included.
    Environment environment() const;
    // The server that speaks the PulseAudio protocol: pulseaudio or pipewire-pulse.
    pid_t pid() const { return pulseServer_.pid(); }
    Child& pulseServer() { return pulseServer_; }

    // Stops the server that speaks the PulseAudio protocol, as an update or a user does,
    // and starts it again on the same address; returns once it answers again with its
    // devices in place.
    bool restart();
    // Stops WirePlumber and starts it again (PipeWire only).
    bool restartSessionManager();
    // Runs `pactl` with `arguments` against the server; true when it succeeded.
    bool pactl(const std::vector<std::string>& arguments) const;

    // Used by startSoundServer.
    bool start();

private:
    bool startPulseAudio();
    bool startPipeWire();
    bool startPulseServer();
    bool startSessionManager();
    bool answers() const;

    SoundStack stack_;
    std::string directory_;
    std::string runtime_;
    std::string address_;
    Child bus_;
    Child pipeWire_;
    Child sessionManager_;
    Child pulseServer_;
};

// Returns once the server answers with "mic0" as its default source; nothing when it did
// not come up in time.
std::unique_ptr<SoundServer> startSoundServer(const std::string& directory,
                                              std::optional<SoundStack> stack = std::nullopt);

}  // namespace testbed

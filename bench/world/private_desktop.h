// A desktop of private servers for measuring quorvel: Xvfb, openbox and PulseAudio with
// a virtual microphone "mic0" and a null sink "spk0", in a temporary directory that also
// holds the desktop entry by which quorvel knows the meeting application played here.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "bench/world/world_clients.h"
#include "testbed/actor.h"
#include "testbed/private_servers.h"

namespace bench::world {

// A recording parec or a corked recorder of this program's own.
using SoundClient = std::variant<testbed::Child, ForkedChild>;

// quorvel as its host application starts it: a child of a process of its own, not of
// the one that fills the desktop.
struct HostedQuorvel {
    std::unique_ptr<testbed::Actor> host;
    pid_t pid = -1;
};

class PrivateDesktop {
public:
    // Starts the servers and points this program's children at them.
    bool start();

    const std::string& display() const { return x_->display; }
    pid_t xServerPid() const { return x_->process.pid(); }
    pid_t soundServerPid() const { return sound_->pid(); }
    std::string eventsPath() const;
    std::string logPath() const;

    std::vector<std::pair<std::string, std::string>> environment() const;
    // parec recording `source` until stopped.
    testbed::Launch recorder(const std::string& source) const;
    // The world's `index`th sound client: a third record the microphone, a third a
    // monitor, a third keep a stream corked.
    SoundClient soundClient(int index) const;
    // A meeting application in front, with its window, recording the microphone.
    std::unique_ptr<testbed::Actor> startMeeting() const;
    // quorvel at `program`, writing its events and its log to this desktop's files;
    // `host` is empty when it could not be started.
    HostedQuorvel startQuorvel(const std::string& program) const;

    // Returns once the window manager and the X server have gone quiet (the manager takes
    // a while over hundreds of new windows), or after a minute and a half.
    void settle() const;

private:
    testbed::TemporaryDirectory directory_;
    std::unique_ptr<testbed::XServer> x_;
    std::unique_ptr<testbed::Child> manager_;
    std::unique_ptr<testbed::SoundServer> sound_;
};

}  // namespace bench::world

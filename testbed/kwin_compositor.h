// A private KWin for the tests: kwin_wayland with its virtual backend (no screen, no
// input device) and XWayland, on a session bus of its own, in a runtime directory inside
// the test's directory. KWin runs as the tests do: as root, from a copy of its program,
// since Debian gives /usr/bin/kwin_wayland a file capability that a container's bounding
// set may not allow.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "testbed/child_process.h"
#include "testbed/sound_servers.h"

namespace testbed {

class KWin {
public:
    // Nothing when KWin or the bus is missing or KWin did not come up within seconds.
    static std::unique_ptr<KWin> start(const std::string& directory);
    ~KWin();

    pid_t pid() const { return process_.pid(); }
    const std::string& busAddress() const { return busAddress_; }
    // An absolute path, which WAYLAND_DISPLAY may name.
    const std::string& waylandDisplay() const { return waylandDisplay_; }
    // WAYLAND_DISPLAY, the session bus, XWayland's DISPLAY and XAUTHORITY, as KWin gives
    // them to the applications it starts.
    Environment environment() const;

    // Whether KWin has a script of that plugin name loaded; nothing when KWin cannot say.
    std::optional<bool> scriptLoaded(const std::string& pluginName) const;
    void stop();
    // Stopped, then started again on the same bus and sockets.
    bool restart();

private:
    KWin(std::string directory, std::string runtime);
    bool startBus();
    bool launch();

    std::string directory_;
    std::string runtime_;
    std::string busAddress_;
    std::string waylandDisplay_;
    std::string xDisplay_;
    std::string xAuthority_;
    Child bus_;
    Child process_;
};

}  // namespace testbed

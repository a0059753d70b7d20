// A private headless sway for the tests, on no screen and no input device. sway refuses
// to run as root, so it runs as the unprivileged user that the test command creates
// (`compositorUser`), with a runtime directory of its own inside the test's directory that
// holds its IPC socket, its Wayland socket and its configuration. Root, as the tests and
// quorvel run, may connect to both sockets, and to its XWayland.
#pragma once

#include <memory>
#include <string>

#include "testbed/child_process.h"
#include "testbed/sound_servers.h"

namespace testbed {

inline constexpr const char* compositorUser = "quorvel-compositor";

class Sway {
public:
    // Nothing when sway or its user is missing, or sway did not answer within a few seconds.
    static std::unique_ptr<Sway> start(const std::string& directory);

    const std::string& ipcSocket() const { return ipcSocket_; }
    // An absolute path, which WAYLAND_DISPLAY may name.
    const std::string& waylandDisplay() const { return waylandDisplay_; }
    // XWayland's display, ":N".
    const std::string& xDisplay() const { return xDisplay_; }
    // SWAYSOCK, WAYLAND_DISPLAY and XWayland's DISPLAY, as sway gives them to the
    // applications it starts: for quorvel and for the actors that open windows.
    Environment environment() const;

    // Runs a sway command, as swaymsg does; true when sway says it succeeded.
    bool command(const std::string& text) const;
    void stop();
    // Stopped, then started again on the same sockets.
    bool restart();

private:
    explicit Sway(std::string runtimeDirectory);
    bool launch();

    std::string runtimeDirectory_;
    std::string ipcSocket_;
    std::string waylandDisplay_;
    std::string xDisplay_;
    Child process_;
};

}  // namespace testbed

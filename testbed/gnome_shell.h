// A private GNOME Shell for the tests: headless, with XWayland, on a virtual monitor, with
// its session bus and a system bus of its own (GNOME Shell asks logind on the system bus
// where systemd's seat directory exists, and runs on without an answer), in a runtime
// directory inside the test's directory. Its settings are a key file of its own, which
// enables the tests' desk extension (testbed/gnome-shell-desk: leaves the overview, tells
// XWayland's display, activates windows) and, when asked, quorvel's window report extension in the edition
// for GNOME Shell 42 to 44, Debian 12's being 43.
#pragma once

#include <memory>
#include <string>

#include "testbed/child_process.h"
#include "testbed/sound_servers.h"

namespace testbed {

class GnomeShell {
public:
    // Nothing when GNOME Shell or a bus is missing, or it did not come up within seconds.
    static std::unique_ptr<GnomeShell> start(const std::string& directory, bool withQuorvelExtension);
    ~GnomeShell();

    // WAYLAND_DISPLAY, the session bus, XWayland's DISPLAY and XAUTHORITY, as GNOME Shell
    // gives them to applications.
    Environment environment() const;
    // The title of the window with the focus; empty when none has it.
    std::string focused() const;
    // Activates the window of that title, as a click on it would: true once it has the focus.
    bool activate(const std::string& title) const;
    void stop();
    // Stopped, then started again on the same buses and socket.
    bool restart();

private:
    GnomeShell(std::string directory, std::string runtime, bool withQuorvelExtension);
    bool prepare();
    bool launch();

    std::string directory_;
    std::string runtime_;
    std::string home_;
    std::string busAddress_;
    std::string waylandDisplay_;
    std::string xDisplay_;
    std::string xAuthority_;
    bool withQuorvelExtension_;
    Child systemBus_;
    Child sessionBus_;
    Child process_;
};

}  // namespace testbed

// One run of the real quorvel against private servers, hosted by a meeting_actor as
// its parent (the host application), with other actors playing meeting applications
// beside it, outside the host's process tree. Its event stream and diagnostic log are
// read back whole.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testbed/actor.h"
#include "testbed/private_servers.h"
#include "testbed/gnome_shell.h"
#include "testbed/kwin_compositor.h"
#include "testbed/sway_compositor.h"

namespace e2e {

struct SessionSetup {
    bool windowManager = false;
    bool soundServer = true;
    bool observerHasDisplay = true;  // false: the observer is started with DISPLAY empty
    // A Wayland session on a private sway instead of an X server: everything is started
    // with its sockets and its XWayland's display, as sway starts applications.
    bool sway = false;
    // false: the observer is started without SWAYSOCK, and sees sway as any wlroots
    // compositor, through its toplevel list.
    bool observerHasSwaySocket = true;
    // A Wayland session on a private KWin, with its session bus.
    bool kwin = false;
    // A Wayland session on a private GNOME Shell, with its session bus, and with quorvel's
    // extension enabled unless asked otherwise.
    bool gnomeShell = false;
    bool quorvelExtension = true;
};

class ObserverSession {
public:
    // Starts the servers asked for; `ready()` tells whether all came up.
    explicit ObserverSession(SessionSetup setup);
    ~ObserverSession();

    bool ready() const { return ready_; }

    // The sound server can also come later, on the address the observer was given.
    bool startSoundServer();
    const std::string& soundServerAddress() const { return pulseAddress_; }
    pid_t soundServerPid() const { return soundServer_ ? soundServer_->pid() : -1; }
    testbed::SoundServer& soundServer() { return *soundServer_; }
    pid_t xServerPid() const { return xServer_->process.pid(); }
    void stopXServer() { xServer_->process.stop(); }
    testbed::Sway& sway() { return *sway_; }
    testbed::KWin& kwin() { return *kwin_; }
    testbed::GnomeShell& gnomeShell() { return *gnomeShell_; }
    // Stops the Wayland compositor and starts it again on the same sockets.
    bool restartCompositor();

    // An actor outside the host's tree; `commandName` becomes its command name.
    std::unique_ptr<testbed::Actor> actor(const std::string& commandName = "meeting_actor");
    // An actor with one window, made frontmost.
    std::unique_ptr<testbed::Actor> frontWindow(const std::string& instance, const std::string& className,
                                       const std::string& title);
    // An actor with one native window on the compositor, which takes the focus as it opens.
    std::unique_ptr<testbed::Actor> waylandWindow(const std::string& commandName, const std::string& appId,
                                                  const std::string& title);

    // Starts the host and the observer under it; waits for the first two events.
    bool startObserver();
    testbed::Actor& host() { return *host_; }

    // Complete lines written so far. Heartbeats after the first are left out of the
    // events: they come every 15 ticks and say nothing about the scenario.
    std::vector<std::string> events() const;
    std::size_t heartbeats() const;
    // Log lines with their time stamps checked and taken off; a line with a malformed
    // stamp is kept whole, so that it shows in a comparison.
    std::vector<std::string> log() const;
    bool logHas(const std::string& line) const;

    bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(6)) const;
    bool waitForLog(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(6)) const;
    // Lets the observer run a number of ticks, so that what it should not do gets the chance.
    void letTicksPass(int ticks) const;

    // What the applications of this desktop run with: its display, its sound server and
    // its desktop entries.
    std::vector<std::pair<std::string, std::string>> environment() const;
    const std::string& directory() const { return directory_.path(); }

private:

    bool ready_ = false;
    testbed::TemporaryDirectory directory_;
    std::unique_ptr<testbed::XServer> xServer_;
    std::unique_ptr<testbed::Child> windowManager_;
    std::unique_ptr<testbed::SoundServer> soundServer_;
    std::unique_ptr<testbed::Sway> sway_;
    std::unique_ptr<testbed::KWin> kwin_;
    std::unique_ptr<testbed::GnomeShell> gnomeShell_;
    std::unique_ptr<testbed::Actor> host_;
    std::string pulseAddress_;
    bool observerHasDisplay_ = true;
    bool observerHasSwaySocket_ = true;
};

// The whole log line of a quorvel message, as the log() of a session shows it.
std::string modeLine(pid_t host);

// The lines that the tests expect, as quorvel writes them.
using Lines = std::vector<std::string>;
inline const std::string heartbeat = R"({"event":"heartbeat"})";
inline const std::string perProcessMode = R"({"event":"mic-mode","perProcess":true})";
inline const std::string micInactive = R"({"event":"mic-inactive","app":"","pid":0})";
inline const std::string dash = "\xE2\x80\x94";  // the log's em dash
std::string micActive(const std::string& app, pid_t pid, const std::string& title);
// The log of a run that names Zoom in front as a dedicated client, up to its event.
Lines zoomInFrontLog(pid_t host, pid_t zoom);
// The log of a run whose first detection names a browser by its meeting title.
Lines browserFoundBehindLog(pid_t host, const std::string& app, pid_t browser, const std::string& title);

}  // namespace e2e

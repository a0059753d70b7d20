// The first report is asked for with a call after subscribing to the extension's signal,
// so that no change after the answer goes unseen; a signal that overtakes the answer
// replaces it, being newer.
#include "observer/platform/linux/gnome_shell_windows.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/session_bus.h"
#include "observer/platform/linux/window_report.h"

namespace observer::platform::gnome_shell {
namespace {

using std::chrono::milliseconds;

constexpr const char* shellName = "org.gnome.Shell";
constexpr const char* extensionName = "org.quorvel.ShellWindows";
constexpr const char* extensionPath = "/org/quorvel/ShellWindows";
constexpr const char* extensionInterface = "org.quorvel.ShellWindows";

servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
std::optional<bool> present;
std::unique_ptr<bus::SessionBus> connection;
std::string extensionOwner;
window_report::ReportedWindows reported;
// The extension's name changed hands: the view is of an extension that is gone.
bool extensionLeft = false;

int onChanged(sd_bus_message* message, void*, sd_bus_error*) {
    const char* sender = sd_bus_message_get_sender(message);
    if (sender == nullptr || extensionOwner.empty() || extensionOwner != sender) return 0;
    const char* document = nullptr;
    if (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &document) > 0 && document != nullptr)
        reported.received(document);
    return 0;
}

int onOwnerChanged(sd_bus_message*, void*, sd_bus_error*) {
    extensionLeft = true;
    return 0;
}

bool waylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
}

void drop() {
    connection.reset();
    extensionOwner.clear();
    reported.forget();
    extensionLeft = false;
    reads.forgetReads();
}

bool connectToBus(bus::Clock::time_point deadline, std::string& failure) {
    connection = bus::SessionBus::connect(deadline, failure);
    if (!connection) return false;
    if (connection->onOwnerChange(extensionName, onOwnerChanged) &&
        connection->onSignal(extensionPath, extensionInterface, "Changed", onChanged))
        return true;
    failure = "the session bus refused our requests";
    return false;
}

// The extension found and its first report in: false with why otherwise.
bool askForWindows(bus::Clock::time_point deadline, std::string& failure) {
    const auto owner = connection->ownerOf(extensionName, deadline, failure);
    if (!owner) {
        failure = "quorvel's extension is not running in it (" + failure + ")";
        return false;
    }
    extensionOwner = *owner;
    const bus::Answer report = connection->call({extensionOwner.c_str(), extensionPath, extensionInterface, "Report"},
                                                deadline, [] { return reported.anyReceived(); });
    if (report.succeeded()) reported.received(report.text);
    if (reported.view() != nullptr) return true;
    failure = report.answered ? "quorvel's extension sent no window report (" + report.failure + ")"
                              : "quorvel's extension did not answer in time";
    return false;
}

bool built(bool asked, const std::string& failure) {
    if (!asked) {
        reachability::unreachable(reachability::Server::gnomeShell, failure);
        drop();
        return false;
    }
    reachability::reached(reachability::Server::gnomeShell);
    return true;
}

bool connectAndBuild() {
    const bus::Clock::time_point deadline = bus::Clock::now() + reads.nextConnectionPatience();
    std::string failure;
    const bool asked = connectToBus(deadline, failure) && askForWindows(deadline, failure);
    return built(asked, failure);
}

struct ExtensionMirror {
    static bool ensure() {
        if (connection && reported.view() != nullptr) return true;
        if (!reads.connectionAttemptDue()) return false;
        const bool connected = connectAndBuild();
        reads.noteConnectionAttempt(connected);
        return connected;
    }
    static bool awaitingAnswers() { return false; }
    static void takeInArrived() {
        if (!connection->takeInArrived()) extensionLeft = true;
    }
    static bool healthy() { return connection && !extensionLeft; }
    static void lose() {
        reachability::lost(reachability::Server::gnomeShell);
        drop();
    }
};

}  // namespace

// GNOME Shell without the extension says why once and is no source: its session has
// XWayland's windows over DISPLAY, as before.
bool sessionHasExtension() {
    if (!present) {
        const bus::Clock::time_point deadline = bus::Clock::now() + reads.nextConnectionPatience();
        std::string failure;
        present = false;
        if (waylandSession() && connectToBus(deadline, failure) && connection->ownerOf(shellName, deadline, failure)) {
            present = askForWindows(deadline, failure);
            reads.noteConnectionAttempt(built(*present, failure));
        }
        if (!*present) drop();
    }
    return *present;
}

const compositor::View* currentView() {
    ExtensionMirror mirror;
    if (!reads.refresh(true, mirror)) return nullptr;
    return reported.view();
}

void takeInArrived() {
    if (!connection) return;
    reads.noteRead();
    if (!connection->takeInArrived() || extensionLeft) {
        reachability::lost(reachability::Server::gnomeShell);
        drop();
    }
}

}  // namespace observer::platform::gnome_shell

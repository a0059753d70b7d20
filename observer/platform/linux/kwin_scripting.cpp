// The script is loaded under a plugin name of this process's own, after unloading any
// script of that name that an earlier connection left, and started; its file is removed
// once KWin has read it (its first report is in) or the connection gave up.
#include "observer/platform/linux/kwin_scripting.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "observer/platform/linux/kwin_script.h"
#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/session_bus.h"
#include "observer/platform/linux/window_report.h"

namespace observer::platform::kwin {
namespace {

using std::chrono::milliseconds;

constexpr const char* kwinName = "org.kde.KWin";

servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
std::optional<bool> present;
std::unique_ptr<bus::SessionBus> connection;
std::string kwinOwner;
window_report::ReportedWindows reported;
// KWin's name changed hands: the view is of a KWin that is gone.
bool kwinLeft = false;

int onReport(sd_bus_message* message, void*, sd_bus_error*) {
    if (!sd_bus_message_is_method_call(message, reportInterface, reportMethod)) return 0;
    const char* sender = sd_bus_message_get_sender(message);
    if (sender == nullptr || kwinOwner.empty() || kwinOwner != sender)
        return bus::answered(
            sd_bus_reply_method_errorf(message, SD_BUS_ERROR_ACCESS_DENIED, "only KWin reports its windows"));
    const char* document = nullptr;
    if (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &document) > 0 && document != nullptr)
        reported.received(document);
    return bus::answered(sd_bus_reply_method_return(message, ""));
}

int onOwnerChanged(sd_bus_message*, void*, sd_bus_error*) {
    kwinLeft = true;
    return 0;
}

bool waylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
}

void drop() {
    connection.reset();
    kwinOwner.clear();
    reported.forget();
    kwinLeft = false;
    reads.forgetReads();
}

// Connected, watching KWin's name and knowing its owner: false with why otherwise.
bool findKWin(bus::Clock::time_point deadline, std::string& failure) {
    connection = bus::SessionBus::connect(deadline, failure);
    if (!connection) return false;
    if (!connection->onOwnerChange(kwinName, onOwnerChanged) || !connection->onCallsTo(reportPath, onReport)) {
        failure = "the session bus refused our requests";
        return false;
    }
    const auto owner = connection->ownerOf(kwinName, deadline, failure);
    if (!owner) return false;
    kwinOwner = *owner;
    return true;
}

// A file of the script that KWin can read, in the runtime directory where there is one.
std::string writeScript(const std::string& text) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string path = std::string(runtime != nullptr && *runtime != '\0' ? runtime : "/tmp") + "/quorvel-kwin-XXXXXX.js";
    const int file = ::mkstemps(path.data(), 3);
    if (file < 0) return "";
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t wrote = ::write(file, text.data() + written, text.size() - written);
        if (wrote <= 0) break;
        written += static_cast<std::size_t>(wrote);
    }
    ::close(file);
    if (written == text.size()) return path;
    ::unlink(path.c_str());
    return "";
}

bus::Call scripting(const char* member, std::function<bool(sd_bus_message*)> arguments = {}) {
    return {kwinOwner.c_str(), "/Scripting", "org.kde.kwin.Scripting", member, std::move(arguments)};
}

// Loaded, started and reported once: false with why otherwise.
bool loadScript(bus::Clock::time_point deadline, std::string& failure) {
    const std::string pluginName = "quorvel-" + std::to_string(::getpid());
    const std::string file = writeScript(scriptSource(connection->uniqueName(), pluginName));
    if (file.empty()) {
        failure = "cannot write the script for KWin (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    const auto named = [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", pluginName.c_str()) >= 0; };
    connection->send(scripting("unloadScript", named));
    const bus::Answer loaded = connection->call(scripting("loadScript", [&](sd_bus_message* m) {
        return sd_bus_message_append(m, "ss", file.c_str(), pluginName.c_str()) >= 0;
    }), deadline);
    if (loaded.succeeded() && loaded.number >= 0 && connection->send(scripting("start")))
        connection->waitUntil(deadline, [] { return reported.anyReceived(); });
    ::unlink(file.c_str());
    if (!loaded.answered) {
        failure = "KWin did not answer in time";
    } else if (!loaded.succeeded() || loaded.number < 0) {
        failure = "KWin did not load the script" + (loaded.failure.empty() ? "" : " (" + loaded.failure + ")");
    } else if (reported.view() == nullptr) {
        failure = "no window report from KWin's script in time";
    } else {
        return true;
    }
    return false;
}

bool built(bool loaded, const std::string& failure) {
    if (!loaded) {
        reachability::unreachable(reachability::Server::kwin, failure);
        drop();
        return false;
    }
    reachability::reached(reachability::Server::kwin);
    return true;
}

bool connectAndBuild() {
    const bus::Clock::time_point deadline = bus::Clock::now() + reads.nextConnectionPatience();
    std::string failure;
    const bool loaded = findKWin(deadline, failure) && loadScript(deadline, failure);
    return built(loaded, failure);
}

struct KWinMirror {
    static bool ensure() {
        if (connection && reported.view() != nullptr) return true;
        if (!reads.connectionAttemptDue()) return false;
        const bool connected = connectAndBuild();
        reads.noteConnectionAttempt(connected);
        return connected;
    }
    static bool awaitingAnswers() { return false; }
    static void takeInArrived() {
        if (!connection->takeInArrived()) kwinLeft = true;
    }
    static bool healthy() { return connection && !kwinLeft; }
    static void lose() {
        reachability::lost(reachability::Server::kwin);
        drop();
    }
};

}  // namespace

// The first connection finds whether KWin is there and, when it is, loads the script with
// the first connection's patience; a failure to load is KWin's, and logged as such.
bool sessionHasKWin() {
    if (!present) {
        const bus::Clock::time_point deadline = bus::Clock::now() + reads.nextConnectionPatience();
        std::string failure;
        present = waylandSession() && findKWin(deadline, failure);
        if (*present) {
            reads.noteConnectionAttempt(built(loadScript(deadline, failure), failure));
        } else {
            drop();
        }
    }
    return *present;
}

const compositor::View* currentView() {
    KWinMirror mirror;
    if (!reads.refresh(true, mirror)) return nullptr;
    return reported.view();
}

void takeInArrived() {
    if (!connection) return;
    reads.noteRead();
    if (!connection->takeInArrived() || kwinLeft) {
        reachability::lost(reachability::Server::kwin);
        drop();
    }
}

}  // namespace observer::platform::kwin

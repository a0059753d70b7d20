// The script is loaded under a plugin name of this process's own, after unloading any
// script of that name that an earlier connection left, and started; its file is removed
// once KWin has read it (its first report is in) or the connection gave up. The reports
// that arrive between two reads are kept as text, and only the last one is read.
#include "observer/platform/linux/kwin_scripting.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "observer/platform/linux/window_report.h"
#include "observer/platform/linux/kwin_script.h"
#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/session_bus.h"

namespace observer::platform::kwin {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kwinName = "org.kde.KWin";
constexpr const char* scriptingPath = "/Scripting";
constexpr const char* scriptingInterface = "org.kde.kwin.Scripting";

// An asynchronous call's answer. Kept at namespace scope: an answer may come after the
// wait for it has given up, until the connection is closed.
struct Answer {
    bool answered = false;
    std::string failure;  // empty when the call succeeded
    std::string text;
    std::int32_t number = 0;
};

servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
std::optional<bool> present;
std::unique_ptr<bus::SessionBus> connection;
std::string kwinOwner;
Answer ownerAnswer;
Answer loadAnswer;
std::optional<std::string> unreadReport;
window_report::ReportReader reader;
std::optional<compositor::View> view;
std::uint64_t version = 0;
// KWin's name changed hands: the view is of a KWin that is gone.
bool kwinLeft = false;

void reset(Answer& answer) {
    answer = Answer{};
}

int onAnswer(sd_bus_message* reply, void* data, sd_bus_error*) {
    Answer& answer = *static_cast<Answer*>(data);
    answer.answered = true;
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        answer.failure = bus::reasonOf(reply);
        return 0;
    }
    char kind = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(reply, &kind, &contents) > 0) {
        if (kind == SD_BUS_TYPE_STRING) {
            const char* value = nullptr;
            if (sd_bus_message_read_basic(reply, SD_BUS_TYPE_STRING, &value) > 0 && value != nullptr) answer.text = value;
        } else if (kind == SD_BUS_TYPE_INT32) {
            sd_bus_message_read_basic(reply, SD_BUS_TYPE_INT32, &answer.number);
        }
    }
    return 0;
}

// A call answered here: sd-bus answers a call that no handler took with an error.
int handled(int replied) {
    return replied < 0 ? replied : 1;
}

int onReport(sd_bus_message* message, void*, sd_bus_error*) {
    if (!sd_bus_message_is_method_call(message, reportInterface, reportMethod)) return 0;
    const char* sender = sd_bus_message_get_sender(message);
    if (sender == nullptr || kwinOwner.empty() || kwinOwner != sender)
        return handled(sd_bus_reply_method_errorf(message, SD_BUS_ERROR_ACCESS_DENIED, "only KWin reports its windows"));
    const char* document = nullptr;
    if (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &document) > 0 && document != nullptr)
        unreadReport = document;
    return handled(sd_bus_reply_method_return(message, ""));
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
    unreadReport.reset();
    reader.forget();
    view.reset();
    kwinLeft = false;
    reads.forgetReads();
    ++version;
}

// Takes the last report in; a report that is no report leaves the view as it was.
void readReport() {
    if (!unreadReport) return;
    if (auto reported = reader.read(*unreadReport)) {
        view = std::move(*reported);
        view->version = ++version;
    }
    unreadReport.reset();
}

// Connected, watching KWin's name and knowing its owner: false with why otherwise.
bool findKWin(Clock::time_point deadline, std::string& failure) {
    connection = bus::SessionBus::connect(deadline, failure);
    if (!connection) return false;
    sd_bus* raw = connection->get();
    const std::string match = std::string("type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                                          "member='NameOwnerChanged',arg0='") + kwinName + "'";
    reset(ownerAnswer);
    if (sd_bus_add_match_async(raw, nullptr, match.c_str(), onOwnerChanged, nullptr, nullptr) < 0 ||
        sd_bus_add_object(raw, nullptr, reportPath, onReport, nullptr) < 0 ||
        sd_bus_call_method_async(raw, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "GetNameOwner", onAnswer, &ownerAnswer, "s", kwinName) < 0) {
        failure = "the session bus refused our requests";
        return false;
    }
    if (!connection->waitUntil(deadline, [] { return ownerAnswer.answered; })) {
        failure = "the session bus closed the connection";
        return false;
    }
    if (!ownerAnswer.answered || !ownerAnswer.failure.empty() || ownerAnswer.text.empty()) {
        failure = ownerAnswer.answered ? "KWin is not on the session bus" : "the session bus did not answer in time";
        return false;
    }
    kwinOwner = ownerAnswer.text;
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

// Loaded, started and reported once: false with why otherwise.
bool loadScript(Clock::time_point deadline, std::string& failure) {
    const std::string pluginName = "quorvel-" + std::to_string(::getpid());
    const std::string file = writeScript(scriptSource(connection->uniqueName(), pluginName));
    if (file.empty()) {
        failure = "cannot write the script for KWin (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    sd_bus* raw = connection->get();
    reset(loadAnswer);
    const bool asked =
        sd_bus_call_method_async(raw, nullptr, kwinOwner.c_str(), scriptingPath, scriptingInterface, "unloadScript",
                                 nullptr, nullptr, "s", pluginName.c_str()) >= 0 &&
        sd_bus_call_method_async(raw, nullptr, kwinOwner.c_str(), scriptingPath, scriptingInterface, "loadScript",
                                 onAnswer, &loadAnswer, "ss", file.c_str(), pluginName.c_str()) >= 0 &&
        sd_bus_call_method_async(raw, nullptr, kwinOwner.c_str(), scriptingPath, scriptingInterface, "start", nullptr,
                                 nullptr, "") >= 0;
    const bool open = asked && connection->waitUntil(deadline, [] {
        return (loadAnswer.answered && (!loadAnswer.failure.empty() || loadAnswer.number < 0)) || unreadReport;
    });
    ::unlink(file.c_str());
    if (!open) {
        failure = asked ? "the session bus closed the connection" : "the session bus refused our requests";
        return false;
    }
    if (loadAnswer.answered && !loadAnswer.failure.empty()) {
        failure = "KWin did not load the script (" + loadAnswer.failure + ")";
        return false;
    }
    if (loadAnswer.answered && loadAnswer.number < 0) {
        failure = "KWin did not load the script";
        return false;
    }
    readReport();
    if (!view) {
        failure = "no window report from KWin within " +
                  std::to_string(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count()) + " ms";
        return false;
    }
    return true;
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
    const Clock::time_point deadline = Clock::now() + reads.nextConnectionPatience();
    std::string failure;
    const bool loaded = findKWin(deadline, failure) && loadScript(deadline, failure);
    return built(loaded, failure);
}

struct KWinMirror {
    static bool ensure() {
        if (connection && view) return true;
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
        const Clock::time_point deadline = Clock::now() + reads.nextConnectionPatience();
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
    readReport();
    return view ? &*view : nullptr;
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

#include "observer/platform/linux/hyprland_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "observer/platform/linux/hyprland_clients.h"
#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/window_report.h"

namespace observer::platform::hyprland {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds answerPatience{250};
// Answers far larger than any desktop's are no answers of Hyprland's.
constexpr std::size_t largestAnswer = 16u * 1024 * 1024;

servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
int eventFd = -1;
window_report::ReportedWindows reported;
// An event came since the last answers.
bool stale = false;
bool broken = false;

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool isSocket(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

// The instance's socket folder, newest place first; empty when neither has its sockets.
std::string socketFolder() {
    const std::string signature = variable("HYPRLAND_INSTANCE_SIGNATURE");
    if (signature.empty() || signature.find('/') != std::string::npos) return "";
    const std::string runtime = variable("XDG_RUNTIME_DIR");
    for (const std::string& folder : {runtime.empty() ? std::string() : runtime + "/hypr/" + signature,
                                      "/tmp/hypr/" + signature})
        if (!folder.empty() && isSocket(folder + "/.socket.sock")) return folder;
    return "";
}

int connectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// One request on a connection of its own, answered until Hyprland closes it.
std::optional<std::string> request(const std::string& command, Clock::time_point deadline) {
    const int fd = connectTo(socketFolder() + "/.socket.sock");
    if (fd < 0) return std::nullopt;
    std::optional<std::string> answer;
    if (::send(fd, command.data(), command.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(command.size())) {
        std::string received;
        for (;;) {
            char buffer[65536];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                received.append(buffer, static_cast<std::size_t>(got));
                if (received.size() > largestAnswer) break;
                continue;
            }
            if (got == 0) {
                answer = std::move(received);
                break;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) break;
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd watched{fd, POLLIN, 0};
            if (::poll(&watched, 1, static_cast<int>(left)) < 0 && errno != EINTR) break;
        }
    }
    ::close(fd);
    return answer;
}

// The windows and monitors asked for and taken in; false when either is not answered.
bool askForWindows(Clock::time_point deadline) {
    const auto clients = request("j/clients", deadline);
    const auto monitors = clients ? request("j/monitors", deadline) : std::nullopt;
    const auto report = clients && monitors ? reportOf(*clients, *monitors) : std::nullopt;
    if (!report) return false;
    reported.received(*report);
    stale = false;
    return reported.view() != nullptr;
}

// Takes in the events that have come; false when the connection is broken.
bool readEvents() {
    for (;;) {
        char buffer[65536];
        const ssize_t got = ::recv(eventFd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            stale = true;
            continue;
        }
        if (got == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

void drop() {
    if (eventFd >= 0) ::close(eventFd);
    eventFd = -1;
    reported.forget();
    stale = false;
    broken = false;
    reads.forgetReads();
}

bool connectAndBuild() {
    const milliseconds patience = reads.nextConnectionPatience();
    const std::string folder = socketFolder();
    if (folder.empty()) {
        reachability::unreachable(reachability::Server::hyprland,
                                  "no sockets of instance " + variable("HYPRLAND_INSTANCE_SIGNATURE"));
        return false;
    }
    // Events first, so that no change after the answers goes unseen.
    eventFd = connectTo(folder + "/.socket2.sock");
    if (eventFd < 0) {
        reachability::unreachable(reachability::Server::hyprland,
                                  "no event socket at " + folder + " (" + std::strerror(errno) + ")");
        return false;
    }
    if (!askForWindows(Clock::now() + patience)) {
        reachability::unreachable(reachability::Server::hyprland, "no answer from " + folder + "/.socket.sock within " +
                                                                      std::to_string(patience.count()) + " ms");
        drop();
        return false;
    }
    reachability::reached(reachability::Server::hyprland);
    return true;
}

struct HyprlandMirror {
    static bool ensure() {
        if (eventFd >= 0 && reported.view() != nullptr) return true;
        if (!reads.connectionAttemptDue()) return false;
        const bool connected = connectAndBuild();
        reads.noteConnectionAttempt(connected);
        return connected;
    }
    static bool awaitingAnswers() { return false; }
    static void takeInArrived() {
        broken = !readEvents() || (stale && !askForWindows(Clock::now() + answerPatience));
    }
    static bool healthy() { return eventFd >= 0 && !broken; }
    static void lose() {
        reachability::lost(reachability::Server::hyprland);
        drop();
    }
};

}  // namespace

bool sessionHasHyprland() {
    static const bool present = !socketFolder().empty();
    return present;
}

const compositor::View* currentView() {
    HyprlandMirror connection;
    if (!reads.refresh(true, connection)) return nullptr;
    return reported.view();
}

void takeInArrived() {
    if (eventFd < 0) return;
    reads.noteRead();
    HyprlandMirror::takeInArrived();
    if (broken) HyprlandMirror::lose();
}

}  // namespace observer::platform::hyprland

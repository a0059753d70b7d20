// The IPC connection: i3-compatible frames ("i3-ipc", a 32-bit length and a 32-bit type,
// both in the machine's byte order, then the payload), read without blocking.
#include "observer/platform/linux/sway_ipc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/sway_tree.h"

namespace observer::platform::sway {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view magic = "i3-ipc";
constexpr std::size_t headerSize = 14;
constexpr std::uint32_t subscribe = 2;
constexpr std::uint32_t getTree = 4;
constexpr std::uint32_t eventBit = 0x80000000u;
// A tree far larger than any desktop's is no answer of sway's.
constexpr std::size_t largestFrame = 64u * 1024 * 1024;
constexpr milliseconds treePatience{250};

servers::MirrorReads reads(milliseconds{2000}, milliseconds{250});
int socketFd = -1;
std::string received;
std::optional<compositor::View> view;
std::uint64_t version = 0;
// The tree asked for and not yet answered, with how long it is awaited; another asked for
// by an event meanwhile goes out once that one is in.
std::optional<Clock::time_point> treeDue;
bool treeWanted = false;
// The connection failed while it was read; it is dropped by the read that noticed.
bool broken = false;

bool send(std::uint32_t type, std::string_view payload) {
    std::string frame(magic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    frame.append(reinterpret_cast<const char*>(&length), 4);
    frame.append(reinterpret_cast<const char*>(&type), 4);
    frame.append(payload);
    // A few dozen bytes always fit in an empty socket buffer.
    return ::send(socketFd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
           static_cast<ssize_t>(frame.size());
}

bool askForTree() {
    if (treeDue) {
        treeWanted = true;
        return true;
    }
    treeDue = Clock::now() + treePatience;
    return send(getTree, "");
}

void drop() {
    if (socketFd >= 0) ::close(socketFd);
    socketFd = -1;
    received.clear();
    view.reset();
    treeDue.reset();
    treeWanted = false;
    broken = false;
    reads.forgetReads();
    ++version;
}

// Applies the frames that have arrived; false when the connection is broken.
bool readArrived() {
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::recv(socketFd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            received.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) return false;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        break;
    }
    while (received.size() >= headerSize) {
        if (std::string_view(received).substr(0, magic.size()) != magic) return false;
        std::uint32_t length = 0;
        std::uint32_t type = 0;
        std::memcpy(&length, received.data() + 6, 4);
        std::memcpy(&type, received.data() + 10, 4);
        if (length > largestFrame) return false;
        if (received.size() < headerSize + length) break;
        const std::string_view payload = std::string_view(received).substr(headerSize, length);
        if ((type & eventBit) != 0) {
            if (!askForTree()) return false;
        } else if (type == getTree) {
            if (auto tree = viewOfTree(payload)) {
                view = std::move(*tree);
                view->version = ++version;
            }
            treeDue.reset();
            if (std::exchange(treeWanted, false) && !askForTree()) return false;
        }
        received.erase(0, headerSize + length);
    }
    return true;
}

bool waitForTree(Clock::time_point deadline) {
    while (treeDue && socketFd >= 0) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return true;
        pollfd watched{socketFd, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
        if (!readArrived()) return false;
    }
    return true;
}

std::string socketPath() {
    const char* path = std::getenv("SWAYSOCK");
    return path != nullptr ? path : "";
}

bool connectAndBuild() {
    const milliseconds patience = reads.nextConnectionPatience();
    const std::string path = socketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        reachability::unreachable(reachability::Server::sway, "SWAYSOCK names no socket");
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socketFd < 0 || ::connect(socketFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        reachability::unreachable(reachability::Server::sway,
                                  "no sway IPC at " + path + " (" + std::strerror(errno) + ")");
        drop();
        return false;
    }
    // Events first, so that no change after the tree's answer goes unseen.
    const bool asked = send(subscribe, R"(["window","workspace"])") && askForTree();
    treeDue = Clock::now() + patience;
    if (!asked || !waitForTree(*treeDue) || !view) {
        reachability::unreachable(reachability::Server::sway,
                                  "no answer from " + path + " within " + std::to_string(patience.count()) + " ms");
        drop();
        return false;
    }
    reachability::reached(reachability::Server::sway);
    return true;
}

struct SwayMirror {
    static bool ensure() {
        if (socketFd >= 0 && view) return true;
        if (!reads.connectionAttemptDue()) return false;
        const bool connected = connectAndBuild();
        reads.noteConnectionAttempt(connected);
        return connected;
    }
    static bool awaitingAnswers() { return treeDue.has_value(); }
    static void takeInArrived() {
        broken = !readArrived() || (treeDue && !waitForTree(*treeDue));
    }
    static bool healthy() { return socketFd >= 0 && !broken; }
    static void lose() {
        reachability::lost(reachability::Server::sway);
        drop();
    }
};

}  // namespace

const compositor::View* currentView() {
    SwayMirror connection;
    if (!reads.refresh(true, connection)) return nullptr;
    return view ? &*view : nullptr;
}

void takeInArrived() {
    if (socketFd < 0) return;
    reads.noteRead();
    if (!readArrived()) {
        reachability::lost(reachability::Server::sway);
        drop();
    }
}

}  // namespace observer::platform::sway

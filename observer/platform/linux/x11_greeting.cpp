// The X greeting probe: a connection of its own to the display's server, asking for the
// greeting with a deadline, since xcb itself waits for it without end.
#include "observer/platform/linux/x11_greeting.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace observer::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Waits for `events` on `fd` until the deadline; false when the time ran out.
bool ready(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0) return false;
        pollfd descriptor{fd, events, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(left) + 1);
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return true;  // let the read that follows tell
    }
}

// A non-blocking connection to `address`: connected, in progress, or failed (-1).
int connectTo(const sockaddr* address, socklen_t length) {
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, address, length) == 0 || errno == EINPROGRESS) return fd;
    ::close(fd);
    return -1;
}

// The local server's socket, abstract first as xcb tries it.
int connectLocal(int number) {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    for (const bool abstract : {true, false}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::size_t offset = abstract ? 1 : 0;
        if (path.size() + offset >= sizeof address.sun_path) return -1;
        std::memcpy(address.sun_path + offset, path.data(), path.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
        const int fd = connectTo(reinterpret_cast<const sockaddr*>(&address), length);
        if (fd >= 0) return fd;
    }
    return -1;
}

// A server over TCP at a numeric address or "localhost", as ssh's forwarded displays
// are ("localhost:10"); -2 for a host name, which is not probed.
int connectNumeric(const std::string& host, int number) {
    const auto port = static_cast<std::uint16_t>(6000 + number);
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(port);
    if (host == "::1" && ::inet_pton(AF_INET6, host.c_str(), &address6.sin6_addr) == 1)
        return connectTo(reinterpret_cast<const sockaddr*>(&address6), sizeof address6);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    const std::string numeric = host == "localhost" ? "127.0.0.1" : host;
    if (::inet_pton(AF_INET, numeric.c_str(), &address.sin_addr) != 1) return -2;  // not probed
    return connectTo(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

}  // namespace

bool greetsInTime(const std::string& display, std::chrono::milliseconds patience) {
    const auto deadline = Clock::now() + patience;
    char* parsedHost = nullptr;
    int number = 0;
    int screen = 0;
    if (xcb_parse_display(display.c_str(), &parsedHost, &number, &screen) == 0) return true;
    const std::unique_ptr<char, decltype(&std::free)> owned(parsedHost, &std::free);
    const std::string host = parsedHost != nullptr ? parsedHost : "";

    Descriptor socket;
    if (host.empty() || host == "unix") {
        socket.fd = connectLocal(number);
    } else {
        socket.fd = connectNumeric(host, number);
        if (socket.fd == -2) return true;
    }
    if (socket.fd < 0) return true;
    if (!ready(socket.fd, POLLOUT, deadline)) return false;

    // A connection setup request without authorisation, least significant byte first,
    // protocol 11.0. The server answers it at once with success, failure or a request
    // to authenticate: any answer will do.
    const unsigned char request[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (::send(socket.fd, request, sizeof request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request)) return true;
    return ready(socket.fd, POLLIN, deadline);
}

}  // namespace observer::platform::x11

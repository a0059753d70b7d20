// One thread relays every connection: client bytes go on at once, server bytes wait in
// a queue until they are due.
#include "testbed/delaying_proxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <vector>

namespace testbed {
namespace {

using Clock = std::chrono::steady_clock;

int unixSocket(const std::string& path, bool listen) {
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const auto* generic = reinterpret_cast<const sockaddr*>(&address);
    const bool ok = listen ? ::bind(descriptor, generic, sizeof address) == 0 && ::listen(descriptor, 16) == 0
                           : ::connect(descriptor, generic, sizeof address) == 0;
    if (ok) return descriptor;
    ::close(descriptor);
    return -1;
}

struct Chunk {
    Clock::time_point due;
    std::vector<char> bytes;
};

struct Relay {
    int client;
    int server;
    std::deque<Chunk> toClient;
    bool open = true;
};

bool forward(int from, int to) {
    char buffer[65536];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    return got > 0 && ::write(to, buffer, static_cast<std::size_t>(got)) == got;
}

}  // namespace

DelayingProxy::DelayingProxy(std::string path, std::string serverPath, std::chrono::milliseconds delay)
    : serverPath_(std::move(serverPath)), delay_(delay) {
    ::unlink(path.c_str());
    listener_ = unixSocket(path, true);
    if (listener_ < 0 || ::pipe(wake_) != 0) return;
    thread_ = std::thread([this] { run(); });
}

DelayingProxy::~DelayingProxy() {
    if (thread_.joinable()) {
        (void)::write(wake_[1], "x", 1);
        thread_.join();
    }
    for (const int descriptor : {listener_, wake_[0], wake_[1]})
        if (descriptor >= 0) ::close(descriptor);
}

void DelayingProxy::run() {
    std::deque<Relay> relays;
    for (;;) {
        std::vector<pollfd> watched{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        int timeout = -1;
        const auto now = Clock::now();
        for (const auto& relay : relays) {
            watched.push_back({relay.client, POLLIN, 0});
            watched.push_back({relay.server, POLLIN, 0});
            if (!relay.toClient.empty()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(relay.toClient.front().due - now);
                const int wait = static_cast<int>(std::max<long>(0, left.count()));
                timeout = timeout < 0 ? wait : std::min(timeout, wait);
            }
        }
        if (::poll(watched.data(), watched.size(), timeout) < 0) continue;
        if (watched[0].revents != 0) break;
        if (watched[1].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? unixSocket(serverPath_, false) : -1;
            if (server >= 0) {
                relays.push_back({client, server, {}});
            } else if (client >= 0) {
                ::close(client);
            }
        }
        for (std::size_t i = 0; i < relays.size() && 2 + 2 * i + 1 < watched.size(); ++i) {
            Relay& relay = relays[i];
            if (watched[2 + 2 * i].revents != 0 && !forward(relay.client, relay.server)) relay.open = false;
            if (watched[3 + 2 * i].revents != 0) {
                char buffer[65536];
                const ssize_t got = ::read(relay.server, buffer, sizeof buffer);
                if (got <= 0) {
                    relay.open = false;
                } else {
                    relay.toClient.push_back({Clock::now() + delay_, std::vector<char>(buffer, buffer + got)});
                }
            }
            while (!relay.toClient.empty() && relay.toClient.front().due <= Clock::now()) {
                const auto& bytes = relay.toClient.front().bytes;
                if (::write(relay.client, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
                    relay.open = false;
                relay.toClient.pop_front();
            }
        }
        std::erase_if(relays, [](const Relay& relay) {
            if (relay.open) return false;
            ::close(relay.client);
            ::close(relay.server);
            return true;
        });
    }
    for (const auto& relay : relays) {
        ::close(relay.client);
        ::close(relay.server);
    }
}

}  // namespace testbed

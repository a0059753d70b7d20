// The Hyprland connection against a stand-in for Hyprland's two sockets, made here to the
// documented protocol (a request per connection on `.socket.sock`, answered and closed;
// events as lines on `.socket2.sock`): Hyprland itself does not run here. The stand-in
// counts the requests, so the tests see that a tick without an event asks nothing.
#include "observer/platform/linux/hyprland_ipc.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace observer::platform::hyprland {
namespace {

int listenAt(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) return -1;
    return fd;
}

std::string client(const std::string& address, const std::string& className, const std::string& title, int pid,
                   int focusOrder) {
    return R"({"address": ")" + address + R"(", "mapped": true, "hidden": false, "workspace": {"id": 1}, "class": ")" +
           className + R"(", "title": ")" + title + R"(", "pid": )" + std::to_string(pid) +
           R"(, "xwayland": false, "focusHistoryID": )" + std::to_string(focusOrder) + "}";
}

// Hyprland's answer to j/clients, of these clients.
std::string clientList(const std::vector<std::string>& clients) {
    std::string list = "[";
    for (const std::string& one : clients) {
        if (list.size() > 1) list += ',';
        list += one;
    }
    list += ']';
    return list;
}

class FakeHyprland {
public:
    explicit FakeHyprland(const std::string& folder) {
        std::filesystem::create_directories(folder);
        requests_ = listenAt(folder + "/.socket.sock");
        events_ = listenAt(folder + "/.socket2.sock");
        if (::pipe(stop_) != 0) stop_[0] = stop_[1] = -1;
        server_ = std::thread([this] { serve(); });
    }
    ~FakeHyprland() {
        (void)::write(stop_[1], "x", 1);
        server_.join();
        for (const int fd : {requests_, events_, subscriber_.load(), stop_[0], stop_[1]})
            if (fd >= 0) ::close(fd);
    }

    void setClients(std::string clients) {
        std::lock_guard<std::mutex> lock(mutex_);
        clients_ = std::move(clients);
    }
    int requestsAnswered() const { return answered_; }
    int subscribers() const { return subscribers_; }
    bool sendEvent(const std::string& line) {
        const int fd = subscriber_;
        return fd >= 0 && ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    }
    // Hyprland going away: the event connection closes.
    void closeEvents() { ::shutdown(subscriber_, SHUT_RDWR); }

private:
    void serve() {
        for (;;) {
            pollfd watched[3] = {{stop_[0], POLLIN, 0}, {requests_, POLLIN, 0}, {events_, POLLIN, 0}};
            if (::poll(watched, 3, -1) < 0) continue;
            if (watched[0].revents != 0) return;
            if (watched[2].revents != 0) {
                const int old = subscriber_.exchange(::accept4(events_, nullptr, nullptr, SOCK_CLOEXEC));
                if (old >= 0) ::close(old);
                ++subscribers_;
            }
            if (watched[1].revents != 0) answer(::accept4(requests_, nullptr, nullptr, SOCK_CLOEXEC));
        }
    }
    void answer(int fd) {
        char buffer[256] = {};
        const ssize_t got = ::recv(fd, buffer, sizeof buffer - 1, 0);
        std::string reply = "unknown request";
        const std::string command = got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "";
        if (command == "j/clients") {
            std::lock_guard<std::mutex> lock(mutex_);
            reply = clients_;
        } else if (command == "j/monitors") {
            reply = R"([{"name": "HEADLESS-1", "activeWorkspace": {"id": 1}, "specialWorkspace": {"id": 0}}])";
        }
        ++answered_;
        (void)::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        ::close(fd);
    }

    int requests_ = -1;
    int events_ = -1;
    std::atomic<int> subscriber_{-1};
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::string clients_ = "[]";
    std::atomic<int> answered_{0};
    std::atomic<int> subscribers_{0};
    std::thread server_;
};

class HyprlandIpcTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/quorvel-hyprland-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        runtime_ = folder;
        ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        ::setenv("HYPRLAND_INSTANCE_SIGNATURE", "abc_123", 1);
        hyprland_ = std::make_unique<FakeHyprland>(runtime_ + "/hypr/abc_123");
    }
    void TearDown() override {
        hyprland_.reset();
        std::filesystem::remove_all(runtime_);
    }

    std::string focusedTitle() {
        const compositor::View* view = currentView();
        if (view == nullptr || !view->focused) return "";
        return view->windows[*view->focused].title;
    }

    std::string runtime_;
    std::unique_ptr<FakeHyprland> hyprland_;
};

TEST_F(HyprlandIpcTest, TheViewIsAskedForAgainOnlyAfterAnEvent) {
    hyprland_->setClients(clientList({client("0x1", "zoom", "Zoom Meeting", 300, 0)}));
    ASSERT_TRUE(sessionHasHyprland());
    EXPECT_EQ(focusedTitle(), "Zoom Meeting");
    const int asked = hyprland_->requestsAnswered();
    EXPECT_EQ(asked, 2) << "the windows and the monitors";

    takeInArrived();
    EXPECT_EQ(focusedTitle(), "Zoom Meeting");
    EXPECT_EQ(hyprland_->requestsAnswered(), asked) << "no event, no request";

    hyprland_->setClients(
        clientList({client("0x1", "zoom", "Zoom Meeting", 300, 1), client("0x2", "firefox", "Meet - abc", 100, 0)}));
    ASSERT_TRUE(hyprland_->sendEvent("openwindow>>2,1,firefox,Meet - abc\nactivewindow>>firefox,Meet - abc\n"));
    // The event is in once the socket says so; the tick then asks once.
    pollfd nothing{-1, 0, 0};
    for (int turn = 0; turn < 100 && focusedTitle() != "Meet - abc"; ++turn) {
        ::poll(&nothing, 0, 10);
        takeInArrived();
    }
    EXPECT_EQ(focusedTitle(), "Meet - abc");
    const compositor::View* view = currentView();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->frontToBack.size(), 2u);
    EXPECT_EQ(view->windows[view->frontToBack[1]].title, "Zoom Meeting") << "focused before Firefox";
    EXPECT_EQ(view->windows[view->frontToBack[0]].pid, 100);
}

TEST_F(HyprlandIpcTest, ALostEventConnectionIsConnectedAgainAndTheReturnSaidOnce) {
    hyprland_->setClients(clientList({client("0x1", "zoom", "Zoom Meeting", 300, 0)}));
    ASSERT_TRUE(sessionHasHyprland());
    ASSERT_EQ(focusedTitle(), "Zoom Meeting");
    ASSERT_EQ(hyprland_->subscribers(), 1);

    ::testing::internal::CaptureStderr();
    hyprland_->closeEvents();
    pollfd nothing{-1, 0, 0};
    for (int turn = 0; turn < 100 && hyprland_->subscribers() < 2; ++turn) {
        ::poll(&nothing, 0, 10);
        takeInArrived();
        focusedTitle();
    }
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(hyprland_->subscribers(), 2) << "connected again";
    EXPECT_EQ(focusedTitle(), "Zoom Meeting");
    // Without the observer's frame a line is the bare message; the loss is not logged.
    EXPECT_EQ(log, "Hyprland reachable again\n");
}

TEST(HyprlandSessionTest, AnInstanceWithoutSocketsIsNoSession) {
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
    ::setenv("HYPRLAND_INSTANCE_SIGNATURE", "no_such_instance", 1);
    EXPECT_FALSE(sessionHasHyprland());
}

}  // namespace
}  // namespace observer::platform::hyprland

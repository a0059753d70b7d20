// Child processes for tests, benchmarks and the demo: started with a chosen environment,
// standard descriptors and signal state, talked to line by line, and stopped when the
// handle goes away. By default each child dies with the process that started it, so that
// nothing outlives a crashed or timed-out test.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testbed {

// What a child gets as one of its standard descriptors.
struct Stream {
    enum class Kind { inherited, devNull, closed, descriptor, file };
    Kind kind = Kind::inherited;
    int fd = -1;       // for a descriptor of the starting process
    std::string path;  // for a file, created or truncated

    static Stream inherited() { return {}; }
    static Stream devNull() { return {Kind::devNull, -1, {}}; }
    static Stream closed() { return {Kind::closed, -1, {}}; }
    static Stream descriptor(int fd) { return {Kind::descriptor, fd, {}}; }
    static Stream file(std::string path) { return {Kind::file, -1, std::move(path)}; }
};

struct Launch {
    std::vector<std::string> arguments;  // the first is the program, found on PATH
    std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
    std::vector<std::string> unsetEnvironment;                     // removed
    bool talk = false;  // standard input and output become pipes to the starter
    Stream input = Stream::devNull();
    Stream output = Stream::devNull();
    Stream error = Stream::inherited();
    int descriptorAsThree = -1;  // handed to the child as descriptor 3
    std::vector<int> blockedSignals;  // blocked when the program starts
    // Sent to the child before it starts the program, so that they wait, blocked, from
    // its first instruction on; each must be among `blockedSignals`.
    std::vector<int> pendingSignals;
    std::vector<int> ignoredSignals;  // ignored when the program starts
    // Off for a child that must outlive its starter, as quorvel may outlive a dying host.
    bool diesWithStarter = true;
};

// How a child ended.
struct Exit {
    bool exited = false;  // by exit, with `status`
    int status = -1;
    int signal = 0;       // the signal that killed it
};

class Child {
public:
    Child() = default;
    explicit Child(const Launch& launch);
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child();

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number) const;
    // SIGTERM, then SIGKILL after the grace period; answers the wait status.
    int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));
    // Waits for the child to end by itself, up to `timeout`.
    std::optional<Exit> waitForExit(std::chrono::milliseconds timeout);

    bool send(std::string_view line);
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Sends a command and waits for the child's "ok"; anything else is a failure.
    bool command(std::string_view line, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

private:
    void release();

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    std::optional<int> status_;
};

// Waits up to `timeout` for a process of ours, a child or an orphan adopted by this
// process as a subreaper, to end; nothing while it runs on.
std::optional<Exit> waitForExit(pid_t pid, std::chrono::milliseconds timeout);

// Polls `condition` every few milliseconds until it holds or the time is up.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        struct timespec pause {0, 10'000'000};
        nanosleep(&pause, nullptr);
    }
}

std::string readFile(const std::string& path);

}  // namespace testbed

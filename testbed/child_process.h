// Child processes for tests against real servers: started with a chosen environment,
// talked to line by line, and stopped when the handle goes away. Each child dies with
// the test process, so that nothing outlives a crashed or timed-out test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testbed {

struct Launch {
    std::vector<std::string> arguments;  // the first is the program, found on PATH
    std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
    bool talk = false;         // standard input and output become pipes to the test
    std::string outputFile;    // standard output goes here unless talking; empty: /dev/null
    std::string errorFile;     // standard error goes here; empty: the test's own
    int descriptorAsThree = -1;  // handed to the child as descriptor 3
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

// Polls `condition` every few milliseconds until it holds or the time is up.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        struct timespec pause {0, 20'000'000};
        nanosleep(&pause, nullptr);
    }
}

std::string readFile(const std::string& path);

}  // namespace testbed

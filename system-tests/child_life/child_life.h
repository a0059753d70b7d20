// What the tests of quorvel and quorvel-replay as a host's children share: a scratch
// directory, pipes the test holds the ends of, and a look at a child's signal handlers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "testbed/child_process.h"

namespace child_life {

// Removed when the test program ends.
const std::string& scratchDirectory();

// A program started as a host starts it: standard descriptors on /dev/null unless the
// test sets them, outliving the test's own threads, and with no sound server and no
// display to find, so that quorvel starts at once in device-level mode.
testbed::Launch hostedLaunch(const std::string& program);

// Whether the process has a handler for `signal` installed (SigCgt in /proc).
bool catches(pid_t pid, int signal);

// A pipe whose ends are closed with the object.
class Pipe {
public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return read_; }
    int writeEnd() const { return write_; }
    void closeRead();
    void closeWrite();
    // Everything that arrives before the writers close it, `enough` bytes have come or
    // `timeout` passes.
    std::string readAll(std::chrono::milliseconds timeout = std::chrono::seconds(10),
                        std::size_t enough = SIZE_MAX) const;

private:
    int read_ = -1;
    int write_ = -1;
};

// The first two events of quorvel in device-level mode.
inline constexpr const char* startupEvents =
    "{\"event\":\"heartbeat\"}\n{\"event\":\"mic-mode\",\"perProcess\":false}\n";

}  // namespace child_life

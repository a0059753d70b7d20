// The processes that fill a measured desktop: sound clients and applications with
// windows. Each is forked from the measuring program, dies with it, and is killed and
// reaped when its handle goes away, so that a world that replaces its processes for an
// hour leaves neither strays nor zombies behind.
//
// The measuring program itself never uses libpulse or holds an X connection: its forked
// children may then open their own.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace bench::world {

class ForkedChild {
public:
    ForkedChild() = default;
    explicit ForkedChild(pid_t pid) : pid_(pid) {}
    ForkedChild(ForkedChild&& other) noexcept;  // and so never copied
    ForkedChild& operator=(ForkedChild&& other) noexcept;
    ~ForkedChild();

    pid_t pid() const { return pid_; }

private:
    void end();

    pid_t pid_ = -1;
};

// Runs `body` in a child that dies with this program; the child ends when `body` returns.
template <typename Body>
ForkedChild forkChild(Body body) {
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child != 0) return ForkedChild(child);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    body();
    ::_exit(0);
}

// libpulse refuses to work in a forked child of a process that has used it, and this
// program has (it asks its sound server whether it answers): so a child that talks to the
// sound server runs this program anew, with `arguments`, which its main then recognises.
ForkedChild runThisProgram(const std::vector<std::string>& arguments);
// The sound client that `runThisProgram({corkedRecorderRole})` runs: when the command line
// names it, connects to the sound server named by PULSE_SERVER and keeps a record stream on
// mic0 corked until killed, and answers true; a program's main asks this first.
inline constexpr const char* corkedRecorderRole = "--corked-recorder";
bool runCorkedRecorderRole(int argc, char** argv);

// pacat recording `source` at the bottom of a chain of `depth` processes below this
// program, started through `program`, a link to pacat whose name the recorder then has
// as its command name. Each process of the chain waits for its child and dies with its
// parent, so ending the handle ends the whole chain.
ForkedChild recorderAtDepth(const std::string& program, const std::string& source, int depth);

xcb_atom_t internAtom(xcb_connection_t* x, std::string_view name);

// An application's top-level windows: `count` of them, titled "DOCUMENT N - CLASS" for
// N from `first` on, with WM_CLASS "INSTANCE", "CLASS".
struct WindowSet {
    std::string instance;
    std::string className;
    std::string document;
    int first = 0;
    int count = 0;
};

// A process showing a set of windows on one X connection, as one application does.
class WindowOwner {
public:
    WindowOwner(const std::string& display, const WindowSet& windows);
    ~WindowOwner();
    WindowOwner(const WindowOwner&) = delete;
    WindowOwner& operator=(const WindowOwner&) = delete;

    // Every window is on the server, mapped.
    bool ready(std::chrono::milliseconds timeout);
    // The application gives its next window, in turn, a title it never had before.
    bool retitleNext();

private:
    int channel_ = -1;
    ForkedChild process_;
};

}  // namespace bench::world

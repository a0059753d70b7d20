// meeting_actor plays an application in tests against real servers: it opens a window
// with a chosen WM_CLASS (or, on Wayland, app id) and title, records from a sound-server source itself or in a
// child process, and can host another program as its own child. Started under a
// symlink, it carries the symlink's name as its command name.
//
// It reads one command per line on standard input and answers "ok" (or "error ...")
// on standard output; its first line is "ready <pid>".
//   window <instance> <class> <title...>   title <title...>   activate
//   wayland-window <app id> <title...>  (a native window on WAYLAND_DISPLAY's compositor)
//   record <source>   record-child <source>   record-native <source>   stop
// record-native records in a child that is a native PipeWire client (pw-record).
//   host <program> <output file> <error file> [argument...]
//   wait-hosted <status>  (ok once the hosted program has exited with that status)   quit
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "testbed/child_process.h"
#include "testbed/recording.h"
#include "testbed/test_window.h"
#include "testbed/wayland_window.h"

namespace {

using testbed::Child;
using testbed::Launch;
using testbed::Recording;
using testbed::Stream;
using testbed::TestWindow;
using testbed::WaylandWindow;

struct Actor {
    std::unique_ptr<TestWindow> window;
    std::unique_ptr<WaylandWindow> waylandWindow;
    std::vector<std::unique_ptr<Recording>> recordings;
    std::vector<pid_t> recordingChildren;
    std::vector<Child> nativeRecorders;
    std::unique_ptr<Child> hosted;
};

std::string rest(std::istringstream& words) {
    std::string text;
    std::getline(words, text);
    if (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

std::string programPath;

// Records in this process until it is killed, having told `readyDescriptor` whether it could.
int recordAlone(const std::string& source, int readyDescriptor) {
    Recording recording;
    const char answer = recording.start(source) ? '1' : '0';
    (void)::write(readyDescriptor, &answer, 1);
    for (;;) ::pause();
}

// libpulse refuses to work in a forked child of a process that used it, so the child
// runs this program afresh, by the same path and so under the same command name.
pid_t recordInChild(const std::string& source) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        ::close(ready[0]);
        const std::string descriptor = std::to_string(ready[1]);
        ::execl(programPath.c_str(), programPath.c_str(), "--record", source.c_str(), descriptor.c_str(), nullptr);
        ::_exit(1);
    }
    ::close(ready[1]);
    char answer = '0';
    const bool told = ::read(ready[0], &answer, 1) == 1;
    ::close(ready[0]);
    if (child < 0 || !told || answer != '1') {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        return -1;
    }
    return child;
}

void stopRecordings(Actor& actor) {
    actor.recordings.clear();
    actor.nativeRecorders.clear();
    for (const pid_t child : actor.recordingChildren) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    actor.recordingChildren.clear();
}

std::string perform(Actor& actor, const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    const char* display = std::getenv("DISPLAY");
    if (verb == "window") {
        std::string instance, className;
        words >> instance >> className;
        actor.window = std::make_unique<TestWindow>(display != nullptr ? display : "", instance, className);
        if (!actor.window->connected()) return "error no X server";
        actor.window->setTitle(rest(words));
        actor.window->map();
        return "ok";
    }
    if (verb == "wayland-window") {
        std::string appId;
        words >> appId;
        actor.waylandWindow = std::make_unique<WaylandWindow>(appId, rest(words));
        return actor.waylandWindow->shown() ? "ok" : "error no Wayland compositor";
    }
    if (verb == "title" && actor.waylandWindow) {
        actor.waylandWindow->setTitle(rest(words));
        return "ok";
    }
    if (verb == "title" || verb == "activate") {
        if (!actor.window) return "error no window";
        if (verb == "title") actor.window->setTitle(rest(words));
        if (verb == "activate") actor.window->activate();
        return "ok";
    }
    if (verb == "record-native") {
        std::string source;
        words >> source;
        Launch launch;
        launch.arguments = {"pw-record", "--target", source, "/dev/null"};
        Child recorder(launch);
        if (!recorder.running()) return "error cannot record";
        actor.nativeRecorders.push_back(std::move(recorder));
        return "ok";
    }
    if (verb == "record" || verb == "record-child") {
        std::string source;
        words >> source;
        if (verb == "record-child") {
            const pid_t child = recordInChild(source);
            if (child < 0) return "error cannot record";
            actor.recordingChildren.push_back(child);
            return "ok";
        }
        auto recording = std::make_unique<Recording>();
        if (!recording->start(source)) return "error cannot record";
        actor.recordings.push_back(std::move(recording));
        return "ok";
    }
    if (verb == "stop") {
        stopRecordings(actor);
        return "ok";
    }
    if (verb == "host") {
        std::string program, output, error;
        words >> program >> output >> error;
        Launch launch;
        launch.arguments = {program};
        for (std::string argument; words >> argument;) launch.arguments.push_back(argument);
        launch.output = Stream::file(output);
        launch.error = Stream::file(error);
        actor.hosted = std::make_unique<Child>(launch);
        return actor.hosted->pid() > 0 ? "ok" : "error cannot start";
    }
    if (verb == "wait-hosted") {
        int expected = 0;
        words >> expected;
        if (!actor.hosted) return "error nothing hosted";
        const auto ended = actor.hosted->waitForExit(std::chrono::seconds(20));
        if (!ended) return "error still running";
        return ended->exited && ended->status == expected ? "ok" : "error ended otherwise";
    }
    return "error unknown command";
}

// The next command line; nothing at the end of input. While it waits, a native window
// answers its compositor, which takes a window that does not answer its pings for a hung
// one and says so in its title.
std::optional<std::string> nextLine(Actor& actor, std::string& pending) {
    for (;;) {
        if (const auto end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {-1, POLLIN, 0}};
        if (actor.waylandWindow) watched[1].fd = actor.waylandWindow->descriptor();
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (watched[1].revents != 0 && !actor.waylandWindow->answerCompositor()) actor.waylandWindow.reset();
        if (watched[0].revents == 0) continue;
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

int main(int argc, char** argv) {
    programPath = argv[0];
    if (argc == 4 && std::string(argv[1]) == "--record") return recordAlone(argv[2], std::atoi(argv[3]));
    std::cout << "ready " << ::getpid() << std::endl;
    Actor actor;
    std::string pending;
    for (auto line = nextLine(actor, pending); line && *line != "quit"; line = nextLine(actor, pending))
        std::cout << perform(actor, *line) << std::endl;
    stopRecordings(actor);
    if (actor.hosted) actor.hosted->stop();
    return 0;
}

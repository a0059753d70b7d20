// Starting, talking to and stopping test children.
#include "testbed/child_process.h"

#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace testbed {
namespace {

std::vector<std::string> mergedEnvironment(const Launch& launch) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const auto key = text.substr(0, text.find('='));
        bool replaced = std::find(launch.unsetEnvironment.begin(), launch.unsetEnvironment.end(), key) !=
                        launch.unsetEnvironment.end();
        for (const auto& change : launch.environment) replaced = replaced || change.first == key;
        if (!replaced) merged.emplace_back(text);
    }
    for (const auto& [key, value] : launch.environment) merged.push_back(key + "=" + value);
    return merged;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Only async-signal-safe calls from here on: the child of a multi-threaded process may
// call nothing else before exec.
void openOn(const char* path, int target, int flags) {
    const int fd = ::open(path, flags | O_CLOEXEC, 0644);
    if (fd >= 0 && fd != target) {
        ::dup2(fd, target);
        ::close(fd);
    } else if (fd == target) {
        ::fcntl(fd, F_SETFD, 0);
    }
}

void setUp(const Stream& stream, int target, int flags) {
    switch (stream.kind) {
        case Stream::Kind::inherited:
        case Stream::Kind::closed: break;
        case Stream::Kind::devNull: openOn("/dev/null", target, flags); break;
        case Stream::Kind::file: openOn(stream.path.c_str(), target, flags | O_CREAT | O_TRUNC); break;
        case Stream::Kind::descriptor:
            if (stream.fd != target) {
                ::dup2(stream.fd, target);
            } else {
                ::fcntl(target, F_SETFD, 0);
            }
            break;
    }
}

Exit exitOf(int status) {
    return Exit{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

}  // namespace

Child::Child(const Launch& launch) {
    // Everything the child needs is prepared before fork.
    std::vector<std::string> arguments = launch.arguments;
    std::vector<std::string> environment = mergedEnvironment(launch);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if (launch.talk && (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)) return;
    const Stream in = launch.talk ? Stream::descriptor(input[0]) : launch.input;
    const Stream out = launch.talk ? Stream::descriptor(output[1]) : launch.output;
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int number : launch.blockedSignals) sigaddset(&blocked, number);
    const pid_t parent = ::getpid();

    // Until exec the child is this process, with its handlers: a signal sent right after
    // the start must find the child's own signal state.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &before);
    pid_ = ::fork();
    if (pid_ == 0) {
        if (launch.diesWithStarter) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
        }
        if (launch.descriptorAsThree >= 0) setUp(Stream::descriptor(launch.descriptorAsThree), 3, 0);
        // Lowest first, so that a descriptor opened for one never takes another's number.
        setUp(in, 0, O_RDONLY);
        setUp(out, 1, O_WRONLY);
        setUp(launch.error, 2, O_WRONLY);
        if (in.kind == Stream::Kind::closed) ::close(0);
        if (out.kind == Stream::Kind::closed) ::close(1);
        if (launch.error.kind == Stream::Kind::closed) ::close(2);
        ::syscall(SYS_close_range, launch.descriptorAsThree >= 0 ? 4U : 3U, ~0U, 0U);
        for (const int number : launch.ignoredSignals) ::signal(number, SIG_IGN);
        ::sigprocmask(SIG_SETMASK, &blocked, nullptr);
        for (const int number : launch.pendingSignals) ::raise(number);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (launch.talk) {
        ::close(input[0]);
        ::close(output[1]);
        toChild_ = input[1];
        fromChild_ = output[0];
    }
}

Child::Child(Child&& other) noexcept {
    *this = std::move(other);
}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        stop();
        release();
        pid_ = std::exchange(other.pid_, -1);
        toChild_ = std::exchange(other.toChild_, -1);
        fromChild_ = std::exchange(other.fromChild_, -1);
        pending_ = std::move(other.pending_);
        status_ = std::exchange(other.status_, std::nullopt);
    }
    return *this;
}

Child::~Child() {
    stop();
    release();
}

void Child::release() {
    if (toChild_ >= 0) ::close(toChild_);
    if (fromChild_ >= 0) ::close(fromChild_);
    toChild_ = fromChild_ = -1;
}

bool Child::running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

void Child::signal(int number) const {
    if (pid_ > 0) ::kill(pid_, number);
}

std::optional<Exit> Child::waitForExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return std::nullopt;
    if (!eventually([&] { return !running(); }, timeout)) return std::nullopt;
    return exitOf(*status_);
}

int Child::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return 0;
    if (running()) {
        ::kill(pid_, SIGTERM);
        if (!eventually([&] { return !running(); }, grace)) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = status;
        }
    }
    return *status_;
}

bool Child::send(std::string_view line) {
    if (toChild_ < 0) return false;
    std::string text(line);
    text += '\n';
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t got = ::write(toChild_, text.data() + written, text.size() - written);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        written += static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<std::string> Child::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (fromChild_ < 0 || left.count() <= 0) return std::nullopt;
        pollfd watched{fromChild_, POLLIN, 0};
        if (::poll(&watched, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[512];
        const ssize_t got = ::read(fromChild_, buffer, sizeof buffer);
        if (got <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

bool Child::command(std::string_view line, std::chrono::milliseconds timeout) {
    return send(line) && readLine(timeout) == std::optional<std::string>("ok");
}

std::optional<Exit> waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    std::optional<Exit> ended;
    eventually(
        [&] {
            int status = 0;
            const pid_t got = ::waitpid(pid, &status, WNOHANG);
            if (got == pid) ended = exitOf(status);
            return got != 0;
        },
        timeout);
    return ended;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testbed

// Starting, talking to and stopping test children.
#include "testbed/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace testbed {
namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const auto key = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& change : changes) replaced = replaced || change.first == key;
        if (!replaced) merged.emplace_back(text);
    }
    for (const auto& [key, value] : changes) merged.push_back(key + "=" + value);
    return merged;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

void redirect(const std::string& path, int target, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd >= 0) ::dup2(fd, target);
}

}  // namespace

Child::Child(const Launch& launch) {
    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    std::vector<std::string> arguments = launch.arguments;
    std::vector<std::string> environment = mergedEnvironment(launch.environment);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    if (launch.talk && (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)) return;
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (launch.descriptorAsThree >= 0) ::dup2(launch.descriptorAsThree, 3);
        if (launch.talk) {
            ::dup2(input[0], 0);
            ::dup2(output[1], 1);
        } else {
            redirect("/dev/null", 0, O_RDONLY);
            redirect(launch.outputFile.empty() ? "/dev/null" : launch.outputFile, 1, O_WRONLY | O_CREAT | O_TRUNC);
        }
        if (!launch.errorFile.empty()) redirect(launch.errorFile, 2, O_WRONLY | O_CREAT | O_TRUNC);
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testbed

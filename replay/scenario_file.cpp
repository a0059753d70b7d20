// Reading a scenario file whole, within a stated size.
#include "replay/scenario_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "replay/scenario.h"

namespace replay {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void unreadable(int error) {
    throw ScenarioError(std::string("cannot be read: ") + std::strerror(error));
}

}  // namespace

std::string readScenarioFile(const std::string& path) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) unreadable(errno);
    std::string text;
    char buffer[1 << 16];
    while (text.size() <= maxScenarioBytes) {
        const auto wanted = std::min(sizeof buffer, maxScenarioBytes + 1 - text.size());
        const ssize_t got = ::read(file.get(), buffer, wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) unreadable(errno);
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (text.size() > maxScenarioBytes) {
        throw ScenarioError("larger than the limit of " + std::to_string(maxScenarioBytes) + " bytes (" +
                            std::to_string(maxScenarioBytes / (1024 * 1024)) + " MiB)");
    }
    if (text.empty()) throw ScenarioError("the file is empty");
    return text;
}

}  // namespace replay

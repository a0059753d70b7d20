// The shared parts of the child-life tests.
#include "system-tests/child_life/child_life.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace child_life {
namespace {

class RemoveScratchDirectory : public ::testing::Environment {
public:
    void TearDown() override { std::filesystem::remove_all(scratchDirectory()); }
};
[[maybe_unused]] const auto* const removal = ::testing::AddGlobalTestEnvironment(new RemoveScratchDirectory);

}  // namespace

const std::string& scratchDirectory() {
    static const std::string directory = [] {
        char pattern[] = "/tmp/quorvel-life-XXXXXX";
        return std::string(::mkdtemp(pattern));
    }();
    return directory;
}

testbed::Launch hostedLaunch(const std::string& program) {
    testbed::Launch launch;
    launch.arguments = {program};
    launch.error = testbed::Stream::devNull();
    launch.unsetEnvironment = {"DISPLAY"};
    launch.environment = {{"PULSE_SERVER", "unix:" + scratchDirectory() + "/no-sound-server"}};
    launch.diesWithStarter = false;
    return launch;
}

bool catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (!line.starts_with("SigCgt:")) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (signal - 1)) & 1;
    }
    return false;
}

Pipe::Pipe() {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    read_ = ends[0];
    write_ = ends[1];
}

Pipe::~Pipe() {
    closeRead();
    closeWrite();
}

void Pipe::closeRead() {
    if (read_ >= 0) ::close(read_);
    read_ = -1;
}

void Pipe::closeWrite() {
    if (write_ >= 0) ::close(write_);
    write_ = -1;
}

std::string Pipe::readAll(std::chrono::milliseconds timeout, std::size_t enough) const {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    ::fcntl(read_, F_SETFL, O_NONBLOCK);
    char buffer[65536];
    while (text.size() < enough && std::chrono::steady_clock::now() < deadline) {
        const ssize_t got = ::read(read_, buffer, sizeof buffer);
        if (got == 0) break;
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return text;
}

}  // namespace child_life

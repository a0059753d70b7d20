// quorvel as a host application runs it: stop signals at any moment, inherited signal
// dispositions, closed descriptors, streams nobody reads or that are closed, and a host
// that dies. quorvel runs without a sound server or a display, so it starts at once in
// device-level mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "system-tests/child_life/child_life.h"
#include "testbed/child_process.h"

namespace child_life {
namespace {

using namespace std::chrono_literals;
using testbed::Child;
using testbed::Stream;

// Stop signals end quorvel with status 0 from the very start: when they came before
// quorvel could act (the host started it with them blocked, and they were already
// waiting when it began) and at the first moment its handlers are in place. 50 runs per
// signal, 25 at a time.
class StopSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(StopSignalTest, EndsWithStatusZeroRightAfterSpawn) {
    const int signal = GetParam();
    for (const bool blockedAtSpawn : {true, false}) {
        std::vector<Child> children;
        std::vector<std::unique_ptr<Pipe>> outputs;
        for (int run = 0; run < 25; ++run) {
            outputs.push_back(std::make_unique<Pipe>());
            testbed::Launch launch = hostedLaunch(QUORVEL_PATH);
            launch.output = Stream::descriptor(outputs.back()->writeEnd());
            if (blockedAtSpawn) {
                launch.blockedSignals = {SIGINT, SIGTERM, SIGHUP};
                launch.pendingSignals = {signal};
            }
            Child child(launch);
            if (!blockedAtSpawn) {
                EXPECT_TRUE(testbed::eventually([&] { return catches(child.pid(), signal); }, 10s));
                child.signal(signal);
            }
            outputs.back()->closeWrite();
            children.push_back(std::move(child));
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            const auto ended = children[i].waitForExit(20s);
            ASSERT_TRUE(ended) << "still running";
            EXPECT_TRUE(ended->exited) << "killed by signal " << ended->signal;
            EXPECT_EQ(ended->status, 0);
            // A signal that waited from the start ends quorvel before it writes anything.
            if (blockedAtSpawn) {
                EXPECT_EQ(outputs[i]->readAll(1s), "");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(QuorvelAsChild, StopSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) { return std::string(sigabbrev_np(info.param)); });

// A host that ignores SIGINT and SIGPIPE (as a shell does for a background job) passes
// that on: SIGINT still ends quorvel with status 0, and a closed standard output ends it
// with status 0 too, after one log line; without them ignored, the same.
TEST(QuorvelAsChild, InheritedIgnoredSigintAndSigpipeChangeNothing) {
    for (const bool inherited : {true, false}) {
        {
            Pipe out;
            testbed::Launch launch = hostedLaunch(QUORVEL_PATH);
            launch.output = Stream::descriptor(out.writeEnd());
            if (inherited) launch.ignoredSignals = {SIGINT, SIGPIPE};
            Child child(launch);
            out.closeWrite();
            EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
            child.signal(SIGINT);
            const auto ended = child.waitForExit(10s);
            ASSERT_TRUE(ended);
            EXPECT_TRUE(ended->exited && ended->status == 0) << "inherited " << inherited << ", signal " << ended->signal;
        }
        {
            Pipe out;
            const std::string log = scratchDirectory() + "/closed-stdout.log";
            testbed::Launch launch = hostedLaunch(QUORVEL_PATH);
            launch.output = Stream::descriptor(out.writeEnd());
            launch.error = Stream::file(log);
            if (inherited) launch.ignoredSignals = {SIGINT, SIGPIPE};
            Child child(launch);
            out.closeWrite();
            EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
            out.closeRead();
            const auto ended = child.waitForExit(20s);
            ASSERT_TRUE(ended) << "quorvel outlived its closed standard output";
            EXPECT_TRUE(ended->exited && ended->status == 0) << "inherited " << inherited << ", signal " << ended->signal;
            EXPECT_NE(testbed::readFile(log).find("] standard output closed \xE2\x80\x94 exiting\n"), std::string::npos)
                << testbed::readFile(log);
        }
    }
}

// A host that closes its end of standard error loses the log, not the events.
TEST(QuorvelAsChild, ClosedStandardErrorOnlyDropsTheLog) {
    Pipe out;
    Pipe err;
    err.closeRead();
    testbed::Launch launch = hostedLaunch(QUORVEL_PATH);
    launch.output = Stream::descriptor(out.writeEnd());
    launch.error = Stream::descriptor(err.writeEnd());
    Child child(launch);
    out.closeWrite();
    err.closeWrite();
    EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
    std::this_thread::sleep_for(1500ms);  // ticks run on
    EXPECT_TRUE(child.running()) << "quorvel ended";
    child.signal(SIGTERM);
    const auto ended = child.waitForExit(10s);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
}

// Closed standard descriptors are taken by /dev/null before anything else can take them,
// so the sound library's descriptors never become the event stream.
TEST(QuorvelAsChild, ClosedStandardDescriptorsBecomeDevNull) {
    Pipe out;
    testbed::Launch allClosed = hostedLaunch(QUORVEL_PATH);
    allClosed.input = allClosed.output = allClosed.error = Stream::closed();
    Child child(allClosed);
    testbed::Launch withEvents = allClosed;
    withEvents.output = Stream::descriptor(out.writeEnd());
    Child second(withEvents);
    out.closeWrite();
    EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
    ASSERT_TRUE(testbed::eventually([&] { return catches(child.pid(), SIGTERM); }, 10s));
    std::this_thread::sleep_for(1200ms);  // startup and a tick, which open descriptors of their own
    for (const int fd : {0, 1, 2}) {
        char target[256] = {};
        const std::string link = "/proc/" + std::to_string(child.pid()) + "/fd/" + std::to_string(fd);
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0) << fd;
        EXPECT_STREQ(target, "/dev/null") << "descriptor " << fd;
    }
    for (Child* running : {&child, &second}) {
        running->signal(SIGTERM);
        const auto ended = running->waitForExit(10s);
        ASSERT_TRUE(ended);
        EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
    }
}

// The host is killed with SIGKILL. This test process adopts orphans, so it sees quorvel
// end and can read its status.
enum class Output { hostsPipe, file, pipeHeldElsewhere };

class HostDeathTest : public ::testing::TestWithParam<Output> {
protected:
    void SetUp() override { ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }
};

TEST_P(HostDeathTest, QuorvelEndsWithinTwoSeconds) {
    const Output output = GetParam();
    const std::string log = scratchDirectory() + "/host-death-" + std::to_string(int(output)) + ".log";
    const std::string file = scratchDirectory() + "/host-death-" + std::to_string(int(output)) + ".out";
    Pipe report;
    Pipe events;  // the test holds its read end in the last case
    const pid_t host = ::fork();
    if (host == 0) {
        testbed::Launch launch = hostedLaunch(QUORVEL_PATH);
        launch.output = output == Output::file ? Stream::file(file) : Stream::descriptor(events.writeEnd());
        launch.error = Stream::file(log);
        Child quorvel(launch);
        const pid_t pid = quorvel.pid();
        [[maybe_unused]] auto written = ::write(report.writeEnd(), &pid, sizeof pid);
        // In the first case the host is the pipe's only reader, as a host usually is.
        if (output != Output::hostsPipe) events.closeRead();
        for (;;) ::pause();
    }
    report.closeWrite();
    events.closeWrite();
    if (output == Output::hostsPipe) events.closeRead();
    pid_t quorvel = 0;
    ASSERT_EQ(::read(report.readEnd(), &quorvel, sizeof quorvel), static_cast<ssize_t>(sizeof quorvel));
    const bool started = testbed::eventually(
        [&] { return testbed::readFile(log).find("mic detection: device-level fallback") != std::string::npos; }, 10s);
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
    ASSERT_TRUE(started) << testbed::readFile(log);

    const auto ended = testbed::waitForExit(quorvel, 2s);
    if (!ended) {
        ::kill(quorvel, SIGKILL);
        ::waitpid(quorvel, nullptr, 0);
    }
    ASSERT_TRUE(ended) << "quorvel outlived its host by more than 2 s";
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
    const std::string lines = testbed::readFile(log);
    const std::string hostGone = "] host application (pid " + std::to_string(host) + ") is gone \xE2\x80\x94 exiting\n";
    if (output == Output::hostsPipe) {
        // Whichever quorvel noticed first: the closed pipe or the missing host.
        EXPECT_TRUE(lines.find(hostGone) != std::string::npos ||
                    lines.find("] standard output closed \xE2\x80\x94 exiting\n") != std::string::npos)
            << lines;
    } else {
        EXPECT_NE(lines.find(hostGone), std::string::npos) << lines;
    }
    if (output == Output::file) {
        EXPECT_EQ(testbed::readFile(file), startupEvents);
    }
    if (output == Output::pipeHeldElsewhere) {
        EXPECT_EQ(events.readAll(1s), startupEvents);
    }
}

std::string outputName(const ::testing::TestParamInfo<Output>& info) {
    switch (info.param) {
        case Output::hostsPipe: return "StdoutToTheHostsPipe";
        case Output::file: return "StdoutToAFile";
        case Output::pipeHeldElsewhere: return "StdoutToAPipeHeldElsewhere";
    }
    return "";
}

INSTANTIATE_TEST_SUITE_P(QuorvelAsChild, HostDeathTest,
                         ::testing::Values(Output::hostsPipe, Output::file, Output::pipeHeldElsewhere), outputName);

}  // namespace
}  // namespace child_life

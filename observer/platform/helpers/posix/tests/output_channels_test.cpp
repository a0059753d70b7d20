// The channels against real pipes that the test leaves unread, drains or closes.
#include "observer/platform/helpers/posix/output_channels.h"
#include "observer/platform/helpers/posix/nonblocking_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "observer/platform/simulated/world.h"

namespace observer::platform::posix {
namespace {

namespace sim = simulated;

class Pipe {
public:
    Pipe() {
        EXPECT_EQ(::pipe2(ends_, O_CLOEXEC), 0);
        // Only the test's reads are non-blocking; the channels never set the flag.
        ::fcntl(ends_[0], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        closeReader();
        ::close(ends_[1]);
    }
    int writer() const { return ends_[1]; }
    void closeReader() {
        if (ends_[0] >= 0) ::close(ends_[0]);
        ends_[0] = -1;
    }
    std::string drain() {
        std::string text;
        char buffer[65536];
        ssize_t got = 0;
        while ((got = ::read(ends_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
        return text;
    }

private:
    int ends_[2] = {-1, -1};
};

std::string eventLine(int number) {
    return R"({"event":"mic-active","app":"Zoom","pid":)" + std::to_string(number) + R"(,"title":")" +
           std::string(200, 'x') + "\"}\n";
}

class OutputChannelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::signal(SIGPIPE, SIG_IGN);
        sim::reset();
        sim::setClock(std::chrono::hours(9));
    }
};

TEST_F(OutputChannelsTest, EventsWaitInOrderForAReaderAndNothingBlocks) {
    Pipe pipe;
    int closings = 0;
    EventChannel channel(pipe.writer(), eventQueueBound, [&] { ++closings; });
    std::string expected;
    // Far more than a pipe holds: a blocking write would hang the test here.
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(channel.write(eventLine(i))) << i;
        expected += eventLine(i);
    }
    EXPECT_TRUE(channel.hasPending());
    std::string received = pipe.drain();
    EXPECT_LT(received.size(), expected.size());
    while (channel.hasPending()) {
        channel.flush();
        received += pipe.drain();
    }
    EXPECT_EQ(received, expected) << "every line, whole and in order";
    EXPECT_EQ(closings, 0);
}

TEST_F(OutputChannelsTest, AtTheBoundALineIsRefusedUntilTheReaderMakesRoom) {
    Pipe pipe;
    const std::size_t bound = 10 * eventLine(0).size();
    EventChannel channel(pipe.writer(), bound, [] {});
    std::string expected;
    int next = 0;
    while (channel.write(eventLine(next))) expected += eventLine(next++);
    EXPECT_LE(channel.pendingBytes(), bound);
    EXPECT_GE(channel.pendingBytes() + eventLine(next).size(), bound);
    EXPECT_FALSE(channel.write(eventLine(next))) << "still full: refused again, and not queued twice";

    std::string received = pipe.drain();
    channel.waitAndFlush(1000);
    ASSERT_TRUE(channel.write(eventLine(next))) << "room again once the reader has read";
    expected += eventLine(next);
    while (channel.hasPending()) {
        received += pipe.drain();
        channel.waitAndFlush(1000);
    }
    received += pipe.drain();
    EXPECT_EQ(received, expected);
}

TEST_F(OutputChannelsTest, AClosedReaderEndsTheEventStream) {
    Pipe pipe;
    int closings = 0;
    EventChannel channel(pipe.writer(), eventQueueBound, [&] { ++closings; });
    ASSERT_TRUE(channel.write(eventLine(1)));
    EXPECT_EQ(closings, 0);
    pipe.closeReader();
    ASSERT_TRUE(channel.write(eventLine(2)));
    EXPECT_EQ(closings, 1);
}

TEST_F(OutputChannelsTest, LogLinesAreDroppedWhileTheLogIsFullAndCountedFirstAfterwards) {
    Pipe pipe;
    DiagnosticChannel log(pipe.writer(), [](std::string_view message) {
        std::string line = "[09:00:00.000] ";
        line += message;
        line += '\n';
        return line;
    });
    const std::string line = "[09:00:00.000] fallback candidate: Firefox \xE2\x80\x94 \"" + std::string(300, 't') + "\"\n";
    int lines = 0;
    while (!log.hasPending()) {
        log.write(line);
        ++lines;
    }
    for (int i = 0; i < 9; ++i) log.write(line);
    const std::string kept = pipe.drain();
    ASSERT_EQ(kept.size() % line.size(), 0u) << "only whole lines";
    EXPECT_EQ(kept.size() / line.size(), static_cast<std::size_t>(lines - 1));

    log.write("[09:00:01.000] next\n");
    EXPECT_EQ(pipe.drain(), "[09:00:00.000] 10 diagnostic lines dropped\n[09:00:01.000] next\n");
    EXPECT_FALSE(log.hasPending());

    // The run loop's flush writes the count without waiting for another line.
    while (!log.hasPending()) log.write(line);
    pipe.drain();
    log.flush();
    EXPECT_EQ(pipe.drain(), "[09:00:00.000] 1 diagnostic lines dropped\n");
}

TEST_F(OutputChannelsTest, ALongLogLineThatHasStartedIsFinishedBeforeAnyOther) {
    Pipe pipe;
    ASSERT_GT(::fcntl(pipe.writer(), F_SETPIPE_SZ, PIPE_BUF), 0);  // the smallest pipe: one page
    DiagnosticChannel log(pipe.writer(), [](std::string_view message) { return std::string(message) + "\n"; });
    const std::string longLine = "[09:00:00.000] " + std::string(3 * PIPE_BUF, 'L') + "\n";
    log.write(longLine);
    log.write("[09:00:00.000] short\n");
    std::string received = pipe.drain();
    while (log.hasPending()) {
        log.flush();
        received += pipe.drain();
    }
    EXPECT_TRUE(received == longLine + "1 diagnostic lines dropped\n") << received.size() << " bytes";
}

TEST_F(OutputChannelsTest, AClosedLogIsDroppedForGood) {
    Pipe pipe;
    DiagnosticChannel log(pipe.writer(), [](std::string_view message) { return std::string(message) + "\n"; });
    pipe.closeReader();
    log.write("[09:00:00.000] one\n");
    EXPECT_TRUE(log.closed());
    log.write("[09:00:00.000] two\n");
    EXPECT_FALSE(log.hasPending()) << "nothing is counted for a log nobody reads";
}

// macOS's poll cannot watch devices and answers POLLNVAL for /dev/null, where hosts that
// ignore quorvel's output send it: such a stream takes every write, and a queue of events
// for it would otherwise grow to its bound and stay there.
TEST(PollAnswerTest, ADescriptorPollCannotWatchIsWrittenAndErrorsAndHangUpsAreAClosedReader) {
    struct Case {
        int ready;
        short revents;
        bool writable;
        bool closed;
    };
    const Case cases[] = {
        {1, POLLNVAL, true, false},        {1, POLLOUT, true, false},
        {0, 0, false, false},              {-1, 0, true, false},
        {1, POLLERR, false, true},         {1, POLLHUP, false, true},
        {1, POLLOUT | POLLHUP, false, true}, {1, POLLNVAL | POLLHUP, true, false},
    };
    for (const Case& c : cases) {
        bool closed = false;
        EXPECT_EQ(writableByPollAnswer(c.ready, c.revents, closed), c.writable) << c.ready << " " << c.revents;
        EXPECT_EQ(closed, c.closed) << c.ready << " " << c.revents;
    }
}

}  // namespace
}  // namespace observer::platform::posix

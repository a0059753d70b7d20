#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "observer/platform/process_table.h"

namespace observer::platform {
namespace {

std::string commandOf(const ProcessRecord& record) {
    return std::string(record.command.data(), ::strnlen(record.command.data(), record.command.size()));
}

TEST(LinuxProcessTableTest, OwnRecordHasParentAndCommandName) {
    ProcessRecord record{};
    std::int64_t length = sizeof record;
    ASSERT_EQ(queryProcessRecord(::getpid(), record, length), 0);
    EXPECT_GT(length, 0);
    EXPECT_EQ(record.parentPid, ::getppid());
    char name[17] = {};
    ::prctl(PR_GET_NAME, name);
    EXPECT_EQ(commandOf(record), name);
}

TEST(LinuxProcessTableTest, NamesWithSpacesAndParenthesesAreReadWhole) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_NAME, "a) b (c) 1 2");
        char done = 1;
        [[maybe_unused]] auto written = ::write(ready[1], &done, 1);
        ::pause();
        ::_exit(0);
    }
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    ProcessRecord record{};
    std::int64_t length = sizeof record;
    const int status = queryProcessRecord(child, record, length);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(commandOf(record), "a) b (c) 1 2");
    EXPECT_EQ(record.parentPid, ::getpid());
}

TEST(LinuxProcessTableTest, PidWithoutProcessFails) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    for (const std::int32_t pid : {static_cast<std::int32_t>(child), 0, -1, -2147483647 - 1}) {
        ProcessRecord record{};
        std::int64_t length = sizeof record;
        EXPECT_NE(queryProcessRecord(pid, record, length), 0) << pid;
        EXPECT_EQ(length, 0) << pid;
    }
}

std::optional<std::int32_t> parentOf(pid_t pid) {
    ProcessRecord record{};
    std::int64_t length = sizeof record;
    if (queryProcessRecord(pid, record, length) != 0 || length == 0) return std::nullopt;
    return record.parentPid;
}

// Asked again, a process that was asked before is answered as it is now: with its new
// parent once the old one has gone, and not at all once it has gone itself, however
// many other processes were asked in between.
TEST(LinuxProcessTableTest, EachQueryAnswersAsTheProcessIsNow) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t middle = ::fork();
    if (middle == 0) {
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::pause();  // killed through its pid below
            ::_exit(0);
        }
        [[maybe_unused]] auto written = ::write(ready[1], &grandchild, sizeof grandchild);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    pid_t grandchild = -1;
    ASSERT_EQ(::read(ready[0], &grandchild, sizeof grandchild), static_cast<ssize_t>(sizeof grandchild));
    EXPECT_EQ(parentOf(grandchild), middle);

    std::vector<pid_t> others;
    for (int i = 0; i < 40; ++i) {
        const pid_t other = ::fork();
        if (other == 0) {
            ::pause();
            ::_exit(0);
        }
        others.push_back(other);
        EXPECT_EQ(parentOf(other), ::getpid());
    }
    EXPECT_EQ(parentOf(grandchild), middle);
    for (const pid_t other : others) {
        ::kill(other, SIGKILL);
        ::waitpid(other, nullptr, 0);
        EXPECT_FALSE(parentOf(other)) << "a process that is gone has no record";
    }

    ::kill(middle, SIGKILL);
    ::waitpid(middle, nullptr, 0);
    EXPECT_FALSE(parentOf(middle));
    std::optional<std::int32_t> adopted;
    for (int attempt = 0; attempt < 100 && (!adopted || *adopted == middle); ++attempt) {
        adopted = parentOf(grandchild);
        ::usleep(10'000);
    }
    ASSERT_TRUE(adopted);
    EXPECT_NE(*adopted, middle) << "the orphan has been adopted";
    ::kill(grandchild, SIGKILL);
    ::close(ready[0]);
}

}  // namespace
}  // namespace observer::platform

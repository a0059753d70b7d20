#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

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

}  // namespace
}  // namespace observer::platform

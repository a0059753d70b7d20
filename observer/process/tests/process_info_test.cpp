#include "observer/process/process_info.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

using ProcessInfoTest = ObserverTest;

TEST_F(ProcessInfoTest, MissingProcessIsAbsentFromAllThree) {
    EXPECT_FALSE(processInfo(123));
    EXPECT_FALSE(parentPID(123));
    EXPECT_FALSE(processName(123));
}

TEST_F(ProcessInfoTest, StatusAndLengthBothDecide) {
    sim::setProcessQueryOverride([](Pid pid, platform::ProcessRecord& record, std::int64_t& length) {
        record.parentPid = 77;
        length = pid == 1 ? 0 : (pid == 2 ? -1 : 100);
        return std::optional<int>(pid == 3 ? 1 : 0);
    });
    EXPECT_FALSE(parentPID(1)) << "success with no bytes";
    EXPECT_FALSE(parentPID(2)) << "negative length";
    EXPECT_FALSE(parentPID(3)) << "failure whatever the length";
    EXPECT_EQ(parentPID(4), 77);
}

TEST_F(ProcessInfoTest, ParentIsReturnedAsStored) {
    sim::World world;
    world.processes = {process(10, 0), process(11, 11)};
    sim::setWorld(world);
    EXPECT_EQ(parentPID(10), 0);
    EXPECT_EQ(parentPID(11), 11);
}

TEST_F(ProcessInfoTest, CommandNamesKeepTheKernelsSixteenBytes) {
    sim::World world;
    world.processes = {
        process(1, 0, "exactly16bytes!!"),
        process(2, 0, "seventeen bytes!!"),
        process(3, 0, "fifteen bytes: \xC3\xA9"),  // the second byte of the é is cut off
        process(4, 0, "a\xFF" "b"),
    };
    sim::setWorld(world);
    EXPECT_EQ(processName(1), "exactly16bytes!!");
    EXPECT_EQ(processName(2), "seventeen bytes!");
    EXPECT_EQ(processName(3), "fifteen bytes: \xEF\xBF\xBD");
    EXPECT_EQ(processName(4), "a\xEF\xBF\xBD" "b");
}

TEST_F(ProcessInfoTest, NameStartingWithNulIsPresentAndEmpty) {
    sim::setProcessQueryOverride([](Pid, platform::ProcessRecord& record, std::int64_t& length) {
        record.command.fill('x');
        record.command[0] = '\0';
        length = 1;
        return std::optional<int>(0);
    });
    EXPECT_EQ(processName(5), "");
}

TEST_F(ProcessInfoTest, FieldWithoutNulEndsWithTheField) {
    sim::setProcessQueryOverride([](Pid, platform::ProcessRecord& record, std::int64_t& length) {
        record.command.fill('x');
        length = 1;
        return std::optional<int>(0);
    });
    EXPECT_EQ(processName(5), std::string(17, 'x'));
}

}  // namespace
}  // namespace observer::testing

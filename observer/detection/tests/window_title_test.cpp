#include "observer/detection/window_title.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

using WindowTitleTest = ObserverTest;

TEST_F(WindowTitleTest, FirstTitledWindowOfTheProcessWins) {
    sim::World world;
    world.windows = std::vector<sim::Window>{
        window(10, "Other app"),
        {10, platform::MissingKey{}},
        window(20, ""),
        window(20, "  \U0001F50A Front tab  "),
        window(20, "Back tab"),
    };
    sim::setWorld(world);
    EXPECT_EQ(getWindowTitle(20), "  \U0001F50A Front tab  ") << "returned exactly as given";
    EXPECT_EQ(getWindowTitle(10), "Other app");
    EXPECT_EQ(getWindowTitle(30), "");
}

TEST_F(WindowTitleTest, MalformedEntriesAreSkipped) {
    sim::World world;
    world.windows = std::vector<sim::Window>{
        {platform::MissingKey{}, std::string("no owner")},
        {platform::WrongType{}, std::string("owner not a number")},
        {20, platform::WrongType{}},
        window(20, "Good"),
    };
    sim::setWorld(world);
    EXPECT_EQ(getWindowTitle(20), "Good");
}

TEST_F(WindowTitleTest, NoListOrNoNamesGivesEmptyTitles) {
    sim::World world;
    world.windows = std::nullopt;
    sim::setWorld(world);
    EXPECT_EQ(getWindowTitle(20), "");
    world.windows = std::vector<sim::Window>{{20, platform::MissingKey{}}, {21, platform::MissingKey{}}};
    sim::setWorld(world);
    EXPECT_EQ(getWindowTitle(20), "");
    EXPECT_EQ(sim::windowListCopyCount(), 2u) << "every lookup asks afresh";
}

}  // namespace
}  // namespace observer::testing

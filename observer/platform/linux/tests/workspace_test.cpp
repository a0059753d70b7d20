// Running and frontmost applications against a private Xvfb, with and without openbox,
// played by meeting_actor processes and named through desktop entries of the test.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "testbed/actor.h"
#include "testbed/private_servers.h"
#include "observer/platform/workspace.h"

namespace observer::platform::testing {

using namespace ::testbed;
namespace {

using namespace std::chrono_literals;

void writeEntry(const std::string& path, const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << contents;
}

std::string describe(const RunningApplication& application) {
    return application.localizedName.value_or("<no name>") + " | " + application.bundleIdentifier.value_or("<no id>") +
           " | " + std::to_string(application.processIdentifier);
}

std::vector<std::string> described(const std::vector<RunningApplication>& applications) {
    std::vector<std::string> lines;
    for (const auto& application : applications) lines.push_back(describe(application));
    return lines;
}

std::string frontmost() {
    const auto application = frontmostApplication();
    return application ? describe(*application) : "<none>";
}

class WorkspaceTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_FALSE(directory.path().empty());
        server = startXServer(directory.path());
        ASSERT_TRUE(server) << "Xvfb did not start";
        if (GetParam()) {
            manager = startWindowManager(server->display, directory.path());
            ASSERT_TRUE(manager) << "openbox did not start";
        }
        dataHome = directory.path() + "/home-data";
        dataDir = directory.path() + "/system-data";
        ::setenv("DISPLAY", server->display.c_str(), 1);
        ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", dataDir.c_str(), 1);
        writeEntry(dataDir + "/applications/us.zoom.Zoom.desktop",
                   "[Desktop Entry]\nType=Application\nName=Zoom\nName[de]=Zoom-Client\nStartupWMClass=zoom\n");
        writeEntry(dataDir + "/applications/google-chrome.desktop",
                   "[Desktop Entry]\nName=Google Chrome\n[Desktop Action new-window]\nName=New Window\n");
    }

    // An actor showing one window; returns once the window is listed.
    std::unique_ptr<Actor> show(const std::string& instance, const std::string& className, const std::string& title) {
        auto actor = startActor(directory.path(), "meeting_actor", {{"DISPLAY", server->display}});
        EXPECT_TRUE(actor && actor->command("window " + instance + " " + className + " " + title));
        if (!actor) return actor;
        const std::string pid = std::to_string(actor->pid);
        EXPECT_TRUE(eventually(
            [&] {
                for (const auto& line : described(runningApplications()))
                    if (line.ends_with(" | " + pid)) return true;
                return false;
            },
            5s));
        return actor;
    }

    TemporaryDirectory directory;
    std::unique_ptr<XServer> server;
    std::unique_ptr<Child> manager;
    std::string dataHome;
    std::string dataDir;
};

TEST_P(WorkspaceTest, OneApplicationPerWindowOwnerInCreationOrderNamedByItsDesktopEntry) {
    EXPECT_EQ(frontmost(), "<none>") << "an empty display has nothing in front";
    auto zoom = show("zoom", "zoom", "Zoom Meeting");
    auto chrome = show("google-chrome", "Google-chrome", "New Tab - Google Chrome");
    auto other = show("thing", "Thingamajig", "Untitled");
    const std::vector<std::string> expected = {
        "zoom.us | us.zoom.xos | " + std::to_string(zoom->pid),
        "Google Chrome | com.google.Chrome | " + std::to_string(chrome->pid),
        "Thingamajig | <no id> | " + std::to_string(other->pid),
    };
    EXPECT_EQ(described(runningApplications()), expected);

    ASSERT_TRUE(chrome->command("activate"));
    EXPECT_TRUE(eventually([&] { return frontmost() == expected[1]; }, 5s)) << frontmost();
    ASSERT_TRUE(zoom->command("activate"));
    EXPECT_TRUE(eventually([&] { return frontmost() == expected[0]; }, 5s)) << frontmost();
    EXPECT_EQ(described(runningApplications()), expected) << "activation does not reorder the list";
}

TEST_P(WorkspaceTest, DesktopEntriesAreReadAgainWhenTheirDirectoriesChange) {
    auto app = show("meetly", "Meetly", "Lobby");
    const std::string pid = std::to_string(app->pid);
    EXPECT_EQ(described(runningApplications()), std::vector<std::string>{"Meetly | <no id> | " + pid});

    writeEntry(dataDir + "/applications/vendor/meetly.desktop", "[Desktop Entry]\nName=Meetly Pro\nStartupWMClass=Meetly\n");
    EXPECT_EQ(described(runningApplications()), std::vector<std::string>{"Meetly Pro | vendor-meetly | " + pid});

    // The user's own entry comes first, and one that hides itself hides the rest.
    writeEntry(dataHome + "/applications/vendor-meetly.desktop", "[Desktop Entry]\nName=Mine\nHidden=true\n");
    EXPECT_EQ(described(runningApplications()), std::vector<std::string>{"Meetly | <no id> | " + pid});
}

INSTANTIATE_TEST_SUITE_P(Display, WorkspaceTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "NoWindowManager"; });

TEST(WorkspaceWithoutServer, NoApplicationsAndNoneFrontmostWithoutADisplay) {
    ::unsetenv("DISPLAY");
    EXPECT_TRUE(runningApplications().empty());
    EXPECT_FALSE(frontmostApplication());
}

}  // namespace
}  // namespace observer::platform::testing

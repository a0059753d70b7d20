// The window list against a private Xvfb, with and without openbox: which windows count
// as on screen, in which order, and how owners and names are read.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testbed/actor.h"
#include "testbed/private_servers.h"
#include "observer/platform/linux/x11_mirror.h"
#include "testbed/test_window.h"
#include "observer/platform/window_list.h"

namespace observer::platform::testing {

using namespace ::testbed;
namespace {

using namespace std::chrono_literals;

std::string nameOf(const WindowList& list, std::size_t index) {
    const auto name = windowName(list, index);
    if (std::holds_alternative<MissingKey>(name)) return "<missing>";
    if (std::holds_alternative<WrongType>(name)) return "<wrong type>";
    return std::get<std::string>(name);
}

std::int32_t ownerOf(const WindowList& list, std::size_t index) {
    const auto owner = windowOwnerPid(list, index);
    const auto* pid = std::get_if<std::int32_t>(&owner);
    return pid != nullptr ? *pid : -1;
}

std::vector<std::string> onScreenNames() {
    std::vector<std::string> names;
    const auto list = copyOnScreenWindows();
    if (!list) return {"<no list>"};
    for (std::size_t i = 0; i < windowCount(*list); ++i) names.push_back(nameOf(*list, i));
    return names;
}

class WindowListTest : public ::testing::TestWithParam<bool> {
protected:
    bool withManager() const { return GetParam(); }

    void SetUp() override {
        ASSERT_FALSE(directory.path().empty());
        server = startXServer(directory.path());
        ASSERT_TRUE(server) << "Xvfb did not start";
        if (withManager()) {
            manager = startWindowManager(server->display, directory.path());
            ASSERT_TRUE(manager) << "openbox did not start";
        }
        ::setenv("DISPLAY", server->display.c_str(), 1);
    }

    // A mapped window with a title, returned once it is on screen.
    std::unique_ptr<TestWindow> show(const std::string& title) {
        auto window = std::make_unique<TestWindow>(server->display, "tester", "Tester");
        window->setTitle(title);
        window->map();
        // A manager lists a window as its client a moment before it shows it, and
        // raises it a moment after.
        ++shown;
        EXPECT_TRUE(eventually(
            [&] {
                const auto names = onScreenNames();
                return names.size() == shown && names.front() == title;
            },
            5s));
        return window;
    }

    TemporaryDirectory directory;
    std::unique_ptr<XServer> server;
    std::unique_ptr<Child> manager;
    std::size_t shown = 0;
};

TEST_P(WindowListTest, ListsMappedWindowsTopmostFirstWithTheirOwnerPid) {
    auto first = show("first");
    auto second = show("second");
    auto third = show("third");
    TestWindow unmapped(server->display, "tester", "Tester");
    unmapped.setTitle("never shown");
    EXPECT_TRUE(eventually([] { return onScreenNames() == std::vector<std::string>{"third", "second", "first"}; }, 5s))
        << ::testing::PrintToString(onScreenNames());

    first->activate();
    EXPECT_TRUE(eventually([] { return onScreenNames() == std::vector<std::string>{"first", "third", "second"}; }, 5s))
        << ::testing::PrintToString(onScreenNames());

    const auto list = copyOnScreenWindows();
    ASSERT_TRUE(list);
    ASSERT_EQ(windowCount(*list), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(ownerOf(*list, i), ::getpid());
}

// The list answers from a mirror that the server's events keep current: a change is
// seen once the server has told it, which one round trip of our own guarantees.
TEST_P(WindowListTest, SeesARetitledWindowAndAWindowGoneAtTheNextQuery) {
    auto kept = show("before");
    auto closed = show("closing");
    kept->setTitle("after");
    closed.reset();
    // A manager takes a closed window off its list when it comes to it.
    if (withManager()) {
        ASSERT_TRUE(eventually([&] { return kept->managedCount() == 1; }, 5s));
    }
    ASSERT_TRUE(x11::synchronize(2s));
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"after"});
    for (int i = 0; i < 3; ++i) {
        kept->setTitle("retitled " + std::to_string(i));
        ASSERT_TRUE(x11::synchronize(2s));
        EXPECT_EQ(onScreenNames(), std::vector<std::string>{"retitled " + std::to_string(i)});
    }
}

// A list copied before a change answers its entries as they are now: a window closed
// since has neither owner nor name, one retitled since has its new name.
TEST_P(WindowListTest, EntriesOfAnEarlierListAreReadAsTheyAreNow) {
    auto kept = show("kept");
    auto closed = show("closing");
    const auto list = copyOnScreenWindows();
    ASSERT_TRUE(list);
    ASSERT_EQ(windowCount(*list), 2u);
    ASSERT_EQ(nameOf(*list, 0), "closing");

    closed.reset();
    kept->setTitle("renamed");
    if (withManager()) {
        ASSERT_TRUE(eventually([&] { return kept->managedCount() == 1; }, 5s));
    }
    ASSERT_TRUE(x11::synchronize(2s));
    EXPECT_EQ(nameOf(*list, 0), "<missing>");
    EXPECT_EQ(ownerOf(*list, 0), -1);
    EXPECT_EQ(nameOf(*list, 1), "renamed");
    EXPECT_EQ(ownerOf(*list, 1), ::getpid());
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"renamed"});
}

// A stopped server keeps its connection: the list still answers, from what the server
// told last, and never waits for it.
TEST_P(WindowListTest, AStoppedServerLeavesTheLastListAndNoWait) {
    auto first = show("first");
    auto second = show("second");
    ASSERT_EQ(::kill(server->process.pid(), SIGSTOP), 0);
    const auto before = onScreenNames();
    EXPECT_EQ(before.size(), 2u);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::vector<std::string>> seen;
    for (int i = 0; i < 20; ++i) seen.push_back(onScreenNames());
    const auto took = std::chrono::steady_clock::now() - start;
    ::kill(server->process.pid(), SIGCONT);

    for (const auto& names : seen) EXPECT_EQ(names, before);
    EXPECT_LT(took, 2s) << "twenty lists, each of which once waited for the server";
    second->setTitle("awake");
    ASSERT_TRUE(x11::synchronize(2s));
    auto expected = before;
    std::replace(expected.begin(), expected.end(), std::string("second"), std::string("awake"));
    EXPECT_EQ(onScreenNames(), expected) << "the server is heard again once it runs";
}

TEST_P(WindowListTest, OwnerPidComesFromTheServerEvenWhenTheWindowClaimsAnotherAndGoesWithTheWindow) {
    auto window = show("liar");
    window->setCardinal("_NET_WM_PID", 4242);
    window->sync();
    const auto list = copyOnScreenWindows();
    ASSERT_TRUE(list);
    ASSERT_EQ(windowCount(*list), 1u);
    EXPECT_EQ(ownerOf(*list, 0), ::getpid());

    // Entries are read when asked: a window that went away since has neither owner nor name.
    window.reset();
    EXPECT_TRUE(eventually([&] { return std::holds_alternative<MissingKey>(windowOwnerPid(*list, 0)); }, 5s));
    EXPECT_TRUE(std::holds_alternative<MissingKey>(windowName(*list, 0)));
}

TEST_P(WindowListTest, NamesAreValidUtf8FromEitherNameProperty) {
    auto modern = show("ignored");
    modern->setProperty("_NET_WM_NAME", "UTF8_STRING", "Caf\xC3\xA9 \xFF!");
    auto legacy = show("ignored");
    legacy->removeProperty("_NET_WM_NAME");
    legacy->setProperty("WM_NAME", "STRING", "Caf\xE9");
    auto odd = show("ignored");
    odd->removeProperty("_NET_WM_NAME");
    odd->setCardinal("WM_NAME", 7);
    auto nameless = show("ignored");
    nameless->removeProperty("_NET_WM_NAME");
    nameless->removeProperty("WM_NAME");

    EXPECT_EQ(onScreenNames(), (std::vector<std::string>{"<missing>", "<wrong type>", "Caf\xC3\xA9",
                                                         "Caf\xC3\xA9 \xEF\xBF\xBD!"}));
}

TEST_P(WindowListTest, LeavesOutDocksAndDesktopWindows) {
    auto normal = show("normal");
    auto dock = std::make_unique<TestWindow>(server->display, "panel", "Panel");
    dock->setTitle("dock");
    dock->setAtoms("_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DOCK"});
    dock->map();
    auto desktop = std::make_unique<TestWindow>(server->display, "desk", "Desk");
    desktop->setTitle("desktop");
    desktop->setAtoms("_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DESKTOP"});
    desktop->map();
    // Docks are not listed as clients by every manager; give the manager time to place them.
    if (withManager()) {
        EXPECT_TRUE(eventually([&] { return desktop->managed() && dock->managed(); }, 2s));
    }
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"normal"});
}

INSTANTIATE_TEST_SUITE_P(Display, WindowListTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "NoWindowManager"; });

class ManagedWindowListTest : public WindowListTest {};

TEST_P(ManagedWindowListTest, LeavesOutMinimisedWindowsAndThoseOnOtherDesktops) {
    auto kept = show("kept");
    auto minimised = show("minimised");
    auto elsewhere = show("elsewhere");
    auto everywhere = show("everywhere");
    everywhere->moveToDesktop(0xFFFFFFFF);
    minimised->minimize();
    elsewhere->moveToDesktop(1);
    EXPECT_TRUE(eventually([] { return onScreenNames() == std::vector<std::string>{"everywhere", "kept"}; }, 5s))
        << ::testing::PrintToString(onScreenNames());
}

INSTANTIATE_TEST_SUITE_P(Display, ManagedWindowListTest, ::testing::Values(true),
                         [](const auto&) { return "Openbox"; });

TEST(WindowListWithoutServer, ReopensTheConnectionWhenTheServerComesBack) {
    TemporaryDirectory directory;
    auto server = startXServer(directory.path());
    ASSERT_TRUE(server);
    const std::string display = server->display;
    ::setenv("DISPLAY", display.c_str(), 1);
    TestWindow first(display, "tester", "Tester");
    first.setTitle("before");
    first.map();
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"before"});

    server->process.stop();
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"<no list>"});

    server = startXServer(directory.path(), display);
    ASSERT_TRUE(server);
    TestWindow second(display, "tester", "Tester");
    second.setTitle("after");
    second.map();
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"after"});
}

TEST(WindowListWithoutResourceExtension, OwnerPidIsWhatTheWindowClaims) {
    TemporaryDirectory directory;
    auto server = startXServer(directory.path(), "", {"-extension", "X-Resource"});
    ASSERT_TRUE(server);
    ::setenv("DISPLAY", server->display.c_str(), 1);
    TestWindow claiming(server->display, "tester", "Tester");
    claiming.setCardinal("_NET_WM_PID", 4242);
    claiming.map();
    TestWindow garbled(server->display, "tester", "Tester");
    garbled.setProperty("_NET_WM_PID", "STRING", "4242");
    garbled.map();
    TestWindow silent(server->display, "tester", "Tester");
    silent.removeProperty("_NET_WM_PID");
    silent.map();

    const auto list = copyOnScreenWindows();
    ASSERT_TRUE(list);
    ASSERT_EQ(windowCount(*list), 3u);
    EXPECT_TRUE(std::holds_alternative<MissingKey>(windowOwnerPid(*list, 0)));
    EXPECT_TRUE(std::holds_alternative<WrongType>(windowOwnerPid(*list, 1)));
    EXPECT_EQ(ownerOf(*list, 2), 4242);
}

// A server that takes the connection but never greets (stopped, hung) is given up on
// after the connection's patience, and connected to once it greets again.
TEST(WindowListWithoutServer, AServerThatNeverGreetsIsGivenUpOnInTime) {
    TemporaryDirectory directory;
    auto server = startXServer(directory.path());
    ASSERT_TRUE(server);
    ::setenv("DISPLAY", server->display.c_str(), 1);
    ASSERT_EQ(::kill(server->process.pid(), SIGSTOP), 0);
    ::alarm(60);  // a wait without end ends the test instead
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(copyOnScreenWindows());
    const auto took = std::chrono::steady_clock::now() - start;
    ::kill(server->process.pid(), SIGCONT);
    EXPECT_LT(took, 10s) << "the first connection waits 2 s at most";
    EXPECT_TRUE(eventually([] { return copyOnScreenWindows() != nullptr; }, 10s));
    ::alarm(0);
}

// This process's connection to an X server, when it has exactly one.
int onlyXConnection() {
    int found = -1;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (descriptors == nullptr) return -1;
    while (const dirent* entry = ::readdir(descriptors)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_un peer{};
        socklen_t length = sizeof peer;
        if (entry->d_name[0] == '.' || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
        if (peer.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path) + 1) continue;
        const std::string path(peer.sun_path + 1, length - offsetof(sockaddr_un, sun_path) - 1);
        if (path.find(".X11-unix/X") == std::string::npos) continue;
        found = found < 0 ? fd : -2;
    }
    ::closedir(descriptors);
    return found;
}

int unreadBytes(int fd) {
    int bytes = 0;
    return ::ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : -1;
}

// What the server sends while nobody asks about windows (as during a meeting) is taken
// in between ticks: it neither piles up in the server nor arrives here in one burst.
TEST(WindowListBetweenQueries, TheMirrorTakesInWhatTheServerSentUnasked) {
    TemporaryDirectory directory;
    auto server = startXServer(directory.path());
    ASSERT_TRUE(server);
    ::setenv("DISPLAY", server->display.c_str(), 1);
    ASSERT_TRUE(copyOnScreenWindows());
    const int connection = onlyXConnection();
    ASSERT_GE(connection, 0);

    auto application = startActor(directory.path(), "meeting_actor", {{"DISPLAY", server->display}});
    ASSERT_TRUE(application && application->command("window app App first"));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(application->command("title retitled " + std::to_string(i)));
    EXPECT_TRUE(eventually([&] { return unreadBytes(connection) > 0; }, 2s)) << "events wait to be read";
    std::this_thread::sleep_for(100ms);
    EXPECT_GT(unreadBytes(connection), 0) << "nothing reads them without a question";
    EXPECT_TRUE(eventually(
        [&] {
            x11::takeInArrived();
            return unreadBytes(connection) == 0;
        },
        2s));
    EXPECT_EQ(onScreenNames(), std::vector<std::string>{"retitled 19"});
}

TEST(WindowListWithoutServer, AnswersNoListWithoutADisplay) {
    ::unsetenv("DISPLAY");
    EXPECT_FALSE(copyOnScreenWindows());
    ::setenv("DISPLAY", ":65000", 1);
    EXPECT_FALSE(copyOnScreenWindows());
}

}  // namespace
}  // namespace observer::platform::testing

// An application in a sandbox with a pid namespace of its own, as Flatpak runs them,
// against a private Xvfb and a plain PulseAudio daemon: the X server knows the
// application's real pid, the sound server only the pid the application has inside.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "observer/platform/audio_hal.h"
#include "observer/platform/linux/tests/hal_reading.h"
#include "testbed/actor.h"
#include "testbed/child_process.h"
#include "testbed/private_servers.h"
#include "observer/platform/workspace.h"

namespace observer::platform::testing {

using namespace ::testbed;
namespace {

using namespace std::chrono_literals;
namespace hal = observer::platform::audio;

using namespace hal_reading;

pid_t parentOf(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) return -1;
    return static_cast<pid_t>(std::atoi(stat.c_str() + close + 4));
}

TEST(SandboxTest, InAPidNamespaceOfItsOwnARecorderHasItsInnerPidWhileItsWindowHasTheRealOne) {
    TemporaryDirectory directory;
    ASSERT_FALSE(directory.path().empty());
    const auto xServer = startXServer(directory.path());
    const auto soundServer = startSoundServer(directory.path());
    ASSERT_TRUE(xServer && soundServer) << "the private servers did not start";
    ::setenv("DISPLAY", xServer->display.c_str(), 1);
    ::setenv("PULSE_SERVER", soundServer->address().c_str(), 1);
    ::setenv("XDG_DATA_HOME", (directory.path() + "/data-home").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (directory.path() + "/data").c_str(), 1);

    Launch launch;
    launch.arguments = {"unshare", "--pid", "--fork", "--kill-child", meetingActorPath()};
    // Without privileges a pid namespace needs a user namespace around it.
    if (::geteuid() != 0) launch.arguments.insert(launch.arguments.begin() + 1, {"--user", "--map-root-user"});
    launch.environment = {{"DISPLAY", xServer->display}, {"PULSE_SERVER", soundServer->address()}};
    launch.talk = true;
    Child sandboxed(launch);
    const auto ready = sandboxed.readLine(5s);
    if (!ready || ready->rfind("ready ", 0) != 0) GTEST_SKIP() << "no pid namespace can be made here";
    const std::string innerPid = ready->substr(6);
    ASSERT_TRUE(sandboxed.command("window zoom zoom Zoom Meeting"));
    ASSERT_TRUE(sandboxed.command("record mic0"));

    std::optional<RunningApplication> zoom;
    ASSERT_TRUE(eventually(
        [&] {
            for (const auto& application : runningApplications())
                if (application.localizedName == "zoom.us") zoom = application;
            return zoom.has_value();
        },
        5s));
    // The window belongs to the sandboxed process itself, a child of the sandbox's launcher.
    EXPECT_EQ(parentOf(zoom->processIdentifier), sandboxed.pid());
    EXPECT_EQ(innerPid, "1");
    EXPECT_TRUE(eventually([] { return recordingPids() == std::vector<std::uint32_t>{1u}; }, 5s))
        << "the sound server reports the pid inside the sandbox, which names no process of the application";
}

// PipeWire tells a Flatpak application's clients by the sandbox's /.flatpak-info and names
// their application; the recording is then the running application's of that id, with its
// real pid. PulseAudio has only the pid inside the sandbox.
TEST(SandboxTest, AFlatpakApplicationsRecordingIsItsOwnWhereTheServerKnowsItsSandbox) {
    if (::geteuid() != 0) GTEST_SKIP() << "a fake Flatpak sandbox needs root";
    TemporaryDirectory directory;
    ASSERT_FALSE(directory.path().empty());
    const auto xServer = startXServer(directory.path());
    const auto soundServer = startSoundServer(directory.path());
    ASSERT_TRUE(xServer && soundServer) << "the private servers did not start";
    ::setenv("DISPLAY", xServer->display.c_str(), 1);
    ::setenv("PULSE_SERVER", soundServer->address().c_str(), 1);

    Launch launch;
    launch.arguments = {fakeFlatpakPath(), "us.zoom.Zoom", meetingActorPath()};
    launch.environment = soundServer->environment();
    launch.environment.emplace_back("DISPLAY", xServer->display);
    launch.talk = true;
    Child sandboxed(launch);
    const auto ready = sandboxed.readLine(10s);
    ASSERT_TRUE(ready && ready->rfind("ready ", 0) == 0) << "the fake sandbox did not start";
    ASSERT_TRUE(sandboxed.command("window zoom zoom Zoom Meeting"));
    ASSERT_TRUE(sandboxed.command("record mic0"));

    std::optional<RunningApplication> zoom;
    ASSERT_TRUE(eventually(
        [&] {
            for (const auto& application : runningApplications())
                if (application.localizedName == "zoom.us") zoom = application;
            return zoom.has_value();
        },
        5s));
    const auto expected = soundServer->stack() == SoundStack::pipeWire
                              ? static_cast<std::uint32_t>(zoom->processIdentifier)
                              : 1u;
    EXPECT_TRUE(eventually([&] { return recordingPids() == std::vector<std::uint32_t>{expected}; }, 5s))
        << "recording pids under " << nameOf(soundServer->stack());
}

}  // namespace
}  // namespace observer::platform::testing

// quorvel-replay --realtime, the stand-in for quorvel in a host's tests, as a host runs
// it: a log nobody reads, events a host reads late, and a host that dies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "system-tests/child_life/child_life.h"
#include "testbed/child_process.h"

namespace child_life {
namespace {

using namespace std::chrono_literals;
using testbed::Child;
using testbed::Stream;

// The keys of a world in which nothing runs: a later state that leaves a key out keeps the
// value before it, so each state here names every key that it empties.
constexpr const char* nothingRuns =
    R"("processes": [], "audioProcesses": [], "apps": [], "frontmostPid": null, "windows": [])";

// A scenario for quorvel-replay --realtime, built from whole worlds, one per tick range.
struct Scenario {
    int ticks = 0;
    std::vector<std::pair<int, std::string>> states;  // fromTick, the world's keys

    // Built by appending throughout: GCC 12 at -O3 reports false overlaps for a literal + a
    // temporary string.
    std::string json() const {
        std::string text = R"({"observer": {"pid": 4000, "parentPid": 3000}, "ticks": )";
        text += std::to_string(ticks);
        text += R"(, "states": [)";
        for (std::size_t i = 0; i < states.size(); ++i) {
            text += i == 0 ? "" : ",";
            text += R"({"fromTick": )";
            text += std::to_string(states[i].first);
            text += ", ";
            text += states[i].second.empty() ? std::string(nothingRuns) : states[i].second;
            text += "}";
        }
        return text + "]}";
    }
};

// Zoom in a meeting, frontmost, capturing the microphone; the window title is `title`.
std::string zoomMeeting(const std::string& title) {
    return R"("processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
              "audioProcesses": [{"id": 20, "pid": 700, "runningInput": true}],
              "apps": [{"name": "zoom.us", "pid": 700}], "frontmostPid": 700,
              "windows": [{"pid": 700, "title": ")" + title + R"("}])";
}

// A recorder that belongs to no meeting application captures the microphone while one
// application of each kind shows a long window title that is not a meeting: each tick,
// one "fallback candidate" line of `titleBytes` and more per application.
std::string unattributedCapture(std::size_t titleBytes) {
    const std::vector<std::string> names{"zoom.us",      "Microsoft Teams", "Cisco Webex", "Slack",
                                         "Google Chrome", "Microsoft Edge",  "Safari",      "Firefox",
                                         "Opera",        "Brave Browser"};
    std::string apps;
    std::string windows;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string pid = std::to_string(800 + i);
        const std::string bundle = names[i] == "Microsoft Edge" ? R"(, "bundleId": "com.microsoft.edgemac")" : "";
        apps += i == 0 ? "" : ",";
        apps += R"({"name": ")";
        apps += names[i];
        apps += "\"";
        apps += bundle;
        apps += R"(, "pid": )";
        apps += pid;
        apps += "}";
        windows += i == 0 ? "" : ",";
        windows += R"({"pid": )";
        windows += pid;
        windows += R"(, "title": ")";
        windows.append(titleBytes, static_cast<char>('a' + i));
        windows += "\"}";
    }
    std::string world = R"("processes": [{"pid": 900, "ppid": 1, "comm": "recorder"}],
              "audioProcesses": [{"id": 20, "pid": 900, "runningInput": true}], "frontmostPid": null,
              "apps": [)";
    world += apps;
    world += R"(], "windows": [)";
    world += windows;
    world += "]";
    return world;
}

std::string writeScenario(const std::string& name, const Scenario& scenario) {
    const std::string path = scratchDirectory() + "/" + name + ".json";
    std::ofstream(path, std::ios::binary) << scenario.json();
    return path;
}

// What quorvel would write on standard output for the scenario: the replay run as fast as
// it can, into a file.
std::string expectedEvents(const std::string& scenario) {
    const std::string path = scenario + ".expected";
    testbed::Launch launch = hostedLaunch(REPLAY_PATH);
    launch.arguments.push_back(scenario);
    launch.output = Stream::file(path);
    Child replay(launch);
    const auto ended = replay.waitForExit(60s);
    EXPECT_TRUE(ended && ended->exited && ended->status == 0);
    return testbed::readFile(path);
}

// quorvel-replay --realtime, the stand-in for quorvel, as a host starts it.
testbed::Launch realtimeReplay(const std::string& scenario, Stream output, Stream error) {
    testbed::Launch launch = hostedLaunch(REPLAY_PATH);
    launch.arguments = {REPLAY_PATH, "--realtime", scenario};
    launch.output = std::move(output);
    launch.error = std::move(error);
    return launch;
}

// Nobody ever reads the log while it grows past 1 MiB: the ticks go on, and every event
// arrives, in order.
TEST(ReplayAsChild, UnreadLogNeverHoldsBackAnEvent) {
    Scenario scenario;
    scenario.ticks = 12;
    scenario.states.push_back({0, ""});
    for (int cycle = 0; cycle < 3; ++cycle) {
        scenario.states.push_back({1 + 4 * cycle, unattributedCapture(20000)});  // two ticks of heavy log
        scenario.states.push_back({3 + 4 * cycle, zoomMeeting("Zoom Meeting")});  // "mic-active"
        scenario.states.push_back({4 + 4 * cycle, ""});                           // "mic-inactive"
    }
    const std::string path = writeScenario("unread-log", scenario);
    const std::string expected = expectedEvents(path);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 2 + 2 * 3) << expected;

    Pipe out;
    Pipe err;  // never read
    Child child(realtimeReplay(path, Stream::descriptor(out.writeEnd()), Stream::descriptor(err.writeEnd())));
    out.closeWrite();
    err.closeWrite();
    // Generous: twelve ticks a second apart, then some.
    EXPECT_EQ(out.readAll(40s, expected.size()), expected);
    child.signal(SIGTERM);
    const auto ended = child.waitForExit(10s);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;

    // What the pipe holds of the log is whole lines, the first of them the mode line.
    const std::string log = err.readAll(1s);
    EXPECT_TRUE(log.starts_with("[")) << log.substr(0, 100);
    EXPECT_NE(log.find("] mic detection: per-process (ignoring own app, pid 3000)\n"), std::string::npos);
    EXPECT_LT(log.size(), 1024u * 1024u) << "the log did not fill a pipe";
}

// The host reads nothing for 30 s while a meeting after another opens with a long title:
// far more than the pipe holds. The ticks go on meanwhile (the log shows each meeting as
// it comes), and once the host reads, every event is there, in order.
TEST(ReplayAsChild, EventsWaitForAHostThatReadsLate) {
    Scenario scenario;
    scenario.ticks = 34;
    scenario.states.push_back({0, ""});
    for (int tick = 1; tick < scenario.ticks; tick += 2) {
        scenario.states.push_back({tick, zoomMeeting("Zoom Meeting " + std::string(40000, 'z'))});
        scenario.states.push_back({tick + 1, ""});
    }
    const std::string path = writeScenario("late-reader", scenario);
    const std::string expected = expectedEvents(path);
    ASSERT_GT(expected.size(), 256u * 1024u);

    Pipe out;
    Pipe err;
    Child child(realtimeReplay(path, Stream::descriptor(out.writeEnd()), Stream::descriptor(err.writeEnd())));
    out.closeWrite();
    err.closeWrite();
    std::string log;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 30s) log += err.readAll(1s);
    std::size_t echoes = 0;
    for (auto at = log.find("EMIT -> "); at != std::string::npos; at = log.find("EMIT -> ", at + 1)) ++echoes;
    // One meeting every two ticks: about 15 in 30 s; ticks that had waited for the
    // reader would have made far fewer.
    EXPECT_GE(echoes, 10u);

    EXPECT_TRUE(out.readAll(30s, expected.size()) == expected) << "events lost, changed or out of order";
    child.signal(SIGTERM);
    const auto ended = child.waitForExit(10s);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
}

// A stand-in that outlived its host would be as bad as quorvel doing so.
TEST(ReplayAsChild, EndsWithItsHost) {
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    Scenario scenario;
    scenario.ticks = 1000;
    scenario.states.push_back({0, ""});
    const std::string path = writeScenario("host-death", scenario);
    const std::string log = scratchDirectory() + "/replay-host-death.log";
    Pipe report;
    Pipe events;  // held open by this test
    const pid_t host = ::fork();
    if (host == 0) {
        Child replay(realtimeReplay(path, Stream::descriptor(events.writeEnd()), Stream::file(log)));
        const pid_t pid = replay.pid();
        [[maybe_unused]] auto written = ::write(report.writeEnd(), &pid, sizeof pid);
        for (;;) ::pause();
    }
    report.closeWrite();
    events.closeWrite();
    pid_t replay = 0;
    ASSERT_EQ(::read(report.readEnd(), &replay, sizeof replay), static_cast<ssize_t>(sizeof replay));
    EXPECT_EQ(events.readAll(10s, 40), R"({"event":"heartbeat"})" "\n" R"({"event":"mic-mode","perProcess":true})" "\n");
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
    const auto ended = testbed::waitForExit(replay, 2s);
    if (!ended) {
        ::kill(replay, SIGKILL);
        ::waitpid(replay, nullptr, 0);
    }
    ASSERT_TRUE(ended) << "quorvel-replay outlived its host by more than 2 s";
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
    EXPECT_NE(testbed::readFile(log).find("] host application (pid 3000) is gone \xE2\x80\x94 exiting\n"), std::string::npos)
        << testbed::readFile(log);
}

}  // namespace
}  // namespace child_life

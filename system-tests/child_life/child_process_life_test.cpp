// quorvel and quorvel-replay --realtime run as a host application runs them: stop signals
// at any moment, inherited signal dispositions, closed descriptors, streams nobody reads
// or that are closed, and a host that dies. quorvel runs without a sound server or a
// display, so it starts at once in device-level mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// What a spawned program gets as a standard descriptor.
constexpr int devNull = -2;
constexpr int closedDescriptor = -1;

struct Spawn {
    std::vector<std::string> arguments;
    int in = devNull, out = devNull, err = devNull;
    std::vector<int> blocked;  // signals blocked when the program starts
    std::vector<int> ignored;  // signals ignored when the program starts
};

Spawn program(const char* path) {
    Spawn how;
    how.arguments = {path};
    return how;
}

std::string scratchDirectory() {
    static const std::string directory = [] {
        char pattern[] = "/tmp/quorvel-life-XXXXXX";
        return std::string(::mkdtemp(pattern));
    }();
    return directory;
}

// The scratch directory goes when the test program ends.
class RemoveScratchDirectory : public ::testing::Environment {
public:
    void TearDown() override { std::filesystem::remove_all(scratchDirectory()); }
};
[[maybe_unused]] const auto* const removal = ::testing::AddGlobalTestEnvironment(new RemoveScratchDirectory);

// quorvel finds no sound server at this address and no display, so it starts at once.
std::vector<std::string> environment() {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        if (!text.starts_with("PULSE_SERVER=") && !text.starts_with("DISPLAY=")) result.emplace_back(text);
    }
    result.push_back("PULSE_SERVER=unix:" + scratchDirectory() + "/no-sound-server");
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

pid_t spawn(const Spawn& how) {
    std::vector<std::string> arguments = how.arguments;
    std::vector<std::string> env = environment();
    const std::vector<char*> argv = pointers(arguments);
    const std::vector<char*> envp = pointers(env);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : how.blocked) sigaddset(&blocked, signal);
    // Until exec the child is this test; a stop signal sent right after spawn must find
    // it blocked, as a host's own spawn leaves it.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &before);
    const pid_t child = ::fork();
    if (child != 0) {
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
        return child;
    }
    // Standard descriptors first, lowest first, so that none is taken by another.
    const int wanted[3] = {how.in, how.out, how.err};
    for (int fd = 0; fd < 3; ++fd) {
        if (wanted[fd] >= 0) {
            ::dup2(wanted[fd], fd);
        } else if (wanted[fd] == devNull) {
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
    }
    for (int fd = 0; fd < 3; ++fd)
        if (wanted[fd] == closedDescriptor) ::close(fd);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    for (const int signal : how.ignored) ::signal(signal, SIG_IGN);
    ::sigprocmask(SIG_SETMASK, &blocked, nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

struct Ended {
    bool exited = false;
    int status = -1;
    int signal = 0;
};

// Waits for a child (or an orphan adopted by this process) up to `timeout`.
std::optional<Ended> waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) {
            return Ended{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         WIFSIGNALED(status) ? WTERMSIG(status) : 0};
        }
        if (got < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
}

// Ends a child that a failed test left running.
void reap(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the process has a handler for `signal` installed (SigCgt in /proc).
bool catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (!line.starts_with("SigCgt:")) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (signal - 1)) & 1;
    }
    return false;
}

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        read = ends[0];
        write = ends[1];
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (read >= 0) ::close(read);
        read = -1;
    }
    void closeWrite() {
        if (write >= 0) ::close(write);
        write = -1;
    }
    // Everything that arrives before the writers close it or `timeout` passes.
    std::string readAll(std::chrono::milliseconds timeout = 10s, std::size_t enough = SIZE_MAX) const {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        ::fcntl(read, F_SETFL, O_NONBLOCK);
        char buffer[65536];
        while (text.size() < enough && std::chrono::steady_clock::now() < deadline) {
            const ssize_t got = ::read(read, buffer, sizeof buffer);
            if (got == 0) break;
            if (got > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
            } else {
                std::this_thread::sleep_for(5ms);
            }
        }
        return text;
    }
};

constexpr const char* startupEvents = "{\"event\":\"heartbeat\"}\n{\"event\":\"mic-mode\",\"perProcess\":false}\n";

// Stop signals end quorvel with status 0 from the very start: when they came before
// quorvel could act (the host started it with them blocked) and at the first moment its
// handlers are in place. 50 runs per signal, 25 at a time.
class StopSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(StopSignalTest, EndsWithStatusZeroRightAfterSpawn) {
    const int signal = GetParam();
    for (const bool blockedAtSpawn : {true, false}) {
        std::vector<pid_t> children;
        std::vector<std::unique_ptr<Pipe>> outputs;
        for (int run = 0; run < 25; ++run) {
            outputs.push_back(std::make_unique<Pipe>());
            Spawn how = program(QUORVEL_PATH);
            how.out = outputs.back()->write;
            if (blockedAtSpawn) how.blocked = {SIGINT, SIGTERM, SIGHUP};
            const pid_t child = spawn(how);
            if (blockedAtSpawn) {
                ::kill(child, signal);
            } else {
                EXPECT_TRUE(eventually([&] { return catches(child, signal); }, 10s));
                ::kill(child, signal);
            }
            outputs.back()->closeWrite();
            children.push_back(child);
        }
        for (std::size_t i = 0; i < children.size(); ++i) {
            const auto ended = waitFor(children[i], 20s);
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
            Spawn how = program(QUORVEL_PATH);
            how.out = out.write;
            if (inherited) how.ignored = {SIGINT, SIGPIPE};
            const pid_t child = spawn(how);
            out.closeWrite();
            EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
            ::kill(child, SIGINT);
            const auto ended = waitFor(child, 10s);
            ASSERT_TRUE(ended);
            EXPECT_TRUE(ended->exited && ended->status == 0) << "inherited " << inherited << ", signal " << ended->signal;
        }
        {
            Pipe out;
            const std::string log = scratchDirectory() + "/closed-stdout.log";
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            Spawn how = program(QUORVEL_PATH);
            how.out = out.write;
            how.err = err;
            if (inherited) how.ignored = {SIGINT, SIGPIPE};
            const pid_t child = spawn(how);
            out.closeWrite();
            ::close(err);
            EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
            out.closeRead();
            const auto ended = waitFor(child, 20s);
            if (!ended) reap(child);
            ASSERT_TRUE(ended) << "quorvel outlived its closed standard output";
            EXPECT_TRUE(ended->exited && ended->status == 0) << "inherited " << inherited << ", signal " << ended->signal;
            EXPECT_NE(readFile(log).find("] standard output closed \xE2\x80\x94 exiting\n"), std::string::npos)
                << readFile(log);
        }
    }
}

// A host that closes its end of standard error loses the log, not the events.
TEST(QuorvelAsChild, ClosedStandardErrorOnlyDropsTheLog) {
    Pipe out;
    Pipe err;
    err.closeRead();
    Spawn how = program(QUORVEL_PATH);
    how.out = out.write;
    how.err = err.write;
    const pid_t child = spawn(how);
    out.closeWrite();
    err.closeWrite();
    EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
    std::this_thread::sleep_for(1500ms);  // ticks run on
    EXPECT_FALSE(waitFor(child, 0ms)) << "quorvel ended";
    ::kill(child, SIGTERM);
    const auto ended = waitFor(child, 10s);
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
}

// Closed standard descriptors are taken by /dev/null before anything else can take them,
// so the sound library's descriptors never become the event stream.
TEST(QuorvelAsChild, ClosedStandardDescriptorsBecomeDevNull) {
    Pipe out;
    Spawn how = program(QUORVEL_PATH);
    how.in = closedDescriptor;
    how.out = closedDescriptor;
    how.err = closedDescriptor;
    const pid_t child = spawn(how);
    Spawn withEvents = program(QUORVEL_PATH);
    withEvents.in = closedDescriptor;
    withEvents.out = out.write;
    withEvents.err = closedDescriptor;
    const pid_t second = spawn(withEvents);
    out.closeWrite();
    EXPECT_EQ(out.readAll(10s, std::strlen(startupEvents)), startupEvents);
    ASSERT_TRUE(eventually([&] { return catches(child, SIGTERM); }, 10s));
    std::this_thread::sleep_for(1200ms);  // startup and a tick, which open descriptors of their own
    for (const int fd : {0, 1, 2}) {
        char target[256] = {};
        const std::string link = "/proc/" + std::to_string(child) + "/fd/" + std::to_string(fd);
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0) << fd;
        EXPECT_STREQ(target, "/dev/null") << "descriptor " << fd;
    }
    for (const pid_t pid : {child, second}) {
        ::kill(pid, SIGTERM);
        const auto ended = waitFor(pid, 10s);
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
        int out = -1;
        if (output == Output::file) {
            out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        } else {
            out = events.write;
        }
        const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        Spawn how = program(QUORVEL_PATH);
        how.out = out;
        how.err = err;
        const pid_t quorvel = spawn(how);
        [[maybe_unused]] auto written = ::write(report.write, &quorvel, sizeof quorvel);
        // In the first case the host is the pipe's only reader, as a host usually is.
        if (output != Output::hostsPipe) ::close(events.read);
        for (;;) ::pause();
    }
    report.closeWrite();
    events.closeWrite();
    if (output == Output::hostsPipe) events.closeRead();
    pid_t quorvel = 0;
    ASSERT_EQ(::read(report.read, &quorvel, sizeof quorvel), static_cast<ssize_t>(sizeof quorvel));
    const bool started =
        eventually([&] { return readFile(log).find("mic detection: device-level fallback") != std::string::npos; }, 10s);
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
    ASSERT_TRUE(started) << readFile(log);

    const auto ended = waitFor(quorvel, 2s);
    if (!ended) reap(quorvel);
    ASSERT_TRUE(ended) << "quorvel outlived its host by more than 2 s";
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
    const std::string lines = readFile(log);
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
        EXPECT_EQ(readFile(file), startupEvents);
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
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Spawn how = program(REPLAY_PATH);
    how.arguments.push_back(scenario);
    how.out = out;
    const pid_t child = spawn(how);
    ::close(out);
    const auto ended = waitFor(child, 60s);
    EXPECT_TRUE(ended && ended->exited && ended->status == 0);
    return readFile(path);
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
    Spawn how = program(REPLAY_PATH);
    how.arguments = {REPLAY_PATH, "--realtime", path};
    how.out = out.write;
    how.err = err.write;
    const pid_t child = spawn(how);
    out.closeWrite();
    err.closeWrite();
    // Generous: twelve ticks a second apart, then some.
    EXPECT_EQ(out.readAll(40s, expected.size()), expected);
    ::kill(child, SIGTERM);
    const auto ended = waitFor(child, 10s);
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
    Spawn how = program(REPLAY_PATH);
    how.arguments = {REPLAY_PATH, "--realtime", path};
    how.out = out.write;
    how.err = err.write;
    const pid_t child = spawn(how);
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
    ::kill(child, SIGTERM);
    const auto ended = waitFor(child, 10s);
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
        const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        Spawn how = program(REPLAY_PATH);
        how.arguments = {REPLAY_PATH, "--realtime", path};
        how.out = events.write;
        how.err = err;
        const pid_t replay = spawn(how);
        [[maybe_unused]] auto written = ::write(report.write, &replay, sizeof replay);
        for (;;) ::pause();
    }
    report.closeWrite();
    events.closeWrite();
    pid_t replay = 0;
    ASSERT_EQ(::read(report.read, &replay, sizeof replay), static_cast<ssize_t>(sizeof replay));
    EXPECT_EQ(events.readAll(10s, 40), R"({"event":"heartbeat"})" "\n" R"({"event":"mic-mode","perProcess":true})" "\n");
    ::kill(host, SIGKILL);
    ::waitpid(host, nullptr, 0);
    const auto ended = waitFor(replay, 2s);
    if (!ended) reap(replay);
    ASSERT_TRUE(ended) << "quorvel-replay outlived its host by more than 2 s";
    EXPECT_TRUE(ended->exited && ended->status == 0) << "signal " << ended->signal;
    EXPECT_NE(readFile(log).find("] host application (pid 3000) is gone \xE2\x80\x94 exiting\n"), std::string::npos)
        << readFile(log);
}

}  // namespace

// Runs the built sennick as a child process and checks the exact bytes of both
// streams and the exit status. A preloaded shim redirects the fixed framework
// path to a stand-in library, so the shipped binary runs unchanged.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Run {
    std::string output;
    std::string error;
    int status = -1;  // exit status; -1 when the child did not exit normally
};

std::string readAll(int fd) {
    std::string text;
    std::array<char, 4096> buffer{};
    ssize_t n = 0;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Spawns sennick with nothing in its environment but `environment`, so that
// nothing inherited can reach the loader; standard input is empty.
Run runSennick(std::vector<std::string> arguments, std::vector<std::string> environment) {
    arguments.insert(arguments.begin(), SENNICK_BINARY);
    const std::vector<char*> argv = pointersTo(arguments);
    const std::vector<char*> envp = pointersTo(environment);

    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);

    Run run;
    // The child writes one short line to each stream, far below a pipe's
    // capacity, so draining them one after the other cannot stall it.
    run.output = readAll(outPipe[0]);
    run.error = readAll(errPipe[0]);
    if (spawnError != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawnError);
        return run;
    }
    int waitStatus = 0;
    if (waitpid(pid, &waitStatus, 0) == pid && WIFEXITED(waitStatus)) {
        run.status = WEXITSTATUS(waitStatus);
    }
    return run;
}

// A sanitizer runtime that is a shared library insists on being loaded first,
// ahead of the shim.
std::string preloadList() {
    const std::string runtime = SENNICK_PRELOAD_RUNTIME;
    return "LD_PRELOAD=" + (runtime.empty() ? "" : runtime + ":") + SENNICK_DLOPEN_SHIM;
}

Run runWithStandIn(const std::string& framework, const std::string& result,
                   const std::vector<std::string>& arguments = {}) {
    return runSennick(arguments, {preloadList(), "SENNICK_TEST_FRAMEWORK=" + framework,
                                  "SENNICK_TEST_RESULT=" + result});
}

void expectRun(const Run& run, const std::string& error, const std::string& output, int status) {
    EXPECT_EQ(run.error, error);
    EXPECT_EQ(run.output, output);
    EXPECT_EQ(run.status, status);
}

TEST(SennickBinary, PlainRunCannotLoadTheFrameworkHere) {
    expectRun(runSennick({}, {}), "ERROR: Failed to load TCC framework\n", "unknown\n", 2);
}

TEST(SennickBinary, ReportsEachAnswerOfTheFramework) {
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "0"), "DEBUG: Audio capture permission is authorized\n",
              "authorized\n", 0);
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "1"), "DEBUG: Audio capture permission is denied\n",
              "denied\n", 1);
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "2"),
              "DEBUG: Audio capture permission is unknown (result=2)\n", "unknown\n", 2);
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "-1"),
              "DEBUG: Audio capture permission is unknown (result=-1)\n", "unknown\n", 2);
}

TEST(SennickBinary, ReportsAFrameworkWithoutTheEntryPoint) {
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK_WITHOUT_ENTRY, "0"),
              "ERROR: Failed to find TCCAccessPreflight function\n", "unknown\n", 2);
}

const std::string usage =
    "usage: sennick [--help | --version]\n"
    "\n"
    "Asks the system's privacy-consent service whether audio capture is permitted and\n"
    "prints authorized, denied or unknown on standard output, with exit status 0, 1 or 2.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

// With a framework that would answer, so that a run that asked it shows in the output.
TEST(SennickBinary, AnswersHelpAndVersionWithoutAskingTheService) {
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "0", {"--help"}), "", usage, 0);
    expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "0", {"--version"}), "",
              std::string("sennick ") + SENNICK_EXPECTED_VERSION + "\n", 0);
}

TEST(SennickBinary, AnyOtherArgumentIsAUsageError) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"denied"}, "denied"},
        {{"-v"}, "-v"},
        {{""}, ""},
        {{"--help", "--version"}, "--version"},
        {{"--version", "authorized"}, "authorized"},
        {{"--verbose", "--help"}, "--verbose"},
    };
    for (const auto& [arguments, unexpected] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        expectRun(runWithStandIn(SENNICK_FAKE_FRAMEWORK, "0", arguments),
                  "sennick: unexpected argument '" + unexpected + "'\n" + usage, "", 2);
    }
}

// How a standard stream reaches sennick in the tests of broken streams.
enum class Stream { pipe, closed, broken };

struct BrokenRun {
    std::string output;  // what arrived on a stream that was a pipe
    std::string error;
    bool exited = false;
    int status = -1;
    int signal = 0;
};

// Runs sennick with standard output and standard error each a readable pipe, a closed
// descriptor, or a pipe whose reader is already gone.
BrokenRun runWithStreams(Stream out, Stream err, const std::vector<std::string>& environment) {
    std::vector<std::string> arguments{SENNICK_BINARY};
    std::vector<std::string> env = environment;
    const std::vector<char*> argv = pointersTo(arguments);
    const std::vector<char*> envp = pointersTo(env);
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return {};
    }
    if (out == Stream::broken) close(outPipe[0]);
    if (err == Stream::broken) close(errPipe[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out == Stream::closed) {
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    }
    if (err == Stream::closed) {
        posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    }
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    BrokenRun run;
    run.output = out == Stream::broken ? std::string() : readAll(outPipe[0]);
    run.error = err == Stream::broken ? std::string() : readAll(errPipe[0]);
    if (spawnError != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawnError);
        return run;
    }
    int waitStatus = 0;
    if (waitpid(pid, &waitStatus, 0) == pid) {
        run.exited = WIFEXITED(waitStatus);
        run.status = run.exited ? WEXITSTATUS(waitStatus) : -1;
        run.signal = WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0;
    }
    return run;
}

// A host that has closed either end, or never gave the stream, still gets the answer in
// the exit status, and the other stream still carries its line.
TEST(SennickBinary, ClosedOrBrokenStreamsNeverCostTheExitStatus) {
    const std::vector<std::pair<std::string, int>> answers{{"0", 0}, {"1", 1}, {"7", 2}};
    const std::vector<std::string> words{"authorized\n", "denied\n", "unknown\n"};
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const auto& [result, status] = answers[i];
        const std::vector<std::string> environment{preloadList(), std::string("SENNICK_TEST_FRAMEWORK=") + SENNICK_FAKE_FRAMEWORK,
                                                   "SENNICK_TEST_RESULT=" + result};
        for (const Stream out : {Stream::pipe, Stream::closed, Stream::broken}) {
            for (const Stream err : {Stream::pipe, Stream::closed, Stream::broken}) {
                if (out == Stream::pipe && err == Stream::pipe) continue;
                const BrokenRun run = runWithStreams(out, err, environment);
                const std::string where = "result " + result + ", stdout " + std::to_string(int(out)) + ", stderr " +
                                          std::to_string(int(err));
                EXPECT_TRUE(run.exited) << where << ": killed by signal " << run.signal;
                EXPECT_EQ(run.status, status) << where;
                if (out == Stream::pipe) {
                    EXPECT_EQ(run.output, words[i]) << where;
                }
                if (err == Stream::pipe) {
                    EXPECT_NE(run.error.find("DEBUG: Audio capture permission is "), std::string::npos) << where;
                }
            }
        }
    }
    // Without the framework, the error path too.
    const BrokenRun run = runWithStreams(Stream::broken, Stream::broken, {});
    EXPECT_TRUE(run.exited) << "killed by signal " << run.signal;
    EXPECT_EQ(run.status, 2);
}

}  // namespace

#include "observer/testing/observer_fixture.h"

#include <sstream>

namespace observer::testing {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_EQ(start, text.size()) << "output must end with a line feed";
    return lines;
}

}  // namespace

void ObserverTest::SetUp() {
    sim::reset();
    sim::setObserverProcess(observerPid, hostPid);
    sim::setClock(std::chrono::hours(9) + std::chrono::minutes(30));
    ownAppPID = hostPid;
    nonMeetingInputServices = nonMeetingInputServicesCatalogue();
    hasPerProcessInput = true;
    fillMeetingCatalogue();
    resetSession();
}

std::vector<std::string> ObserverTest::outputLines() {
    return splitLines(sim::capturedStandardOutput());
}

std::vector<std::string> ObserverTest::logLines() {
    return splitLines(sim::capturedStandardError());
}

void ObserverTest::clearOutput() {
    sim::clearCapturedStreams();
}

sim::Process process(Pid pid, Pid ppid, std::string comm) {
    if (comm.empty()) comm = "proc" + std::to_string(pid);
    return sim::Process{pid, ppid, std::move(comm)};
}

sim::AudioProcess capturing(platform::audio::ObjectId id, Pid pid, bool runningInput) {
    return sim::AudioProcess{id, pid, runningInput};
}

platform::RunningApplication app(std::string name, Pid pid, std::optional<std::string> bundleId) {
    return platform::RunningApplication{std::move(name), std::move(bundleId), pid};
}

sim::Window window(Pid pid, std::string title) {
    return sim::Window{pid, std::move(title)};
}

sim::Device microphone(platform::audio::ObjectId id, bool running) {
    return sim::Device{id, std::vector<std::uint32_t>{1}, running};
}

}  // namespace observer::testing

// quorvel-replay: runs the observer's real rules against the worlds of a scenario file
// and writes what quorvel would write, events to standard output and the log to
// standard error.
#include <unistd.h>

#include <string>

#include "observer/core/diagnosis.h"
#include "observer/core/startup.h"
#include "observer/platform/process_control.h"
#include "observer/platform/run_loop.h"
#include "observer/platform/simulated/world.h"
#include "replay/command_line.h"
#include "replay/scenario.h"
#include "replay/scenario_file.h"

namespace {

namespace sim = observer::platform::simulated;

constexpr int badInput = 2;

int complain(const std::string& message) {
    const std::string line = "quorvel-replay: " + message + "\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, line.data(), line.size());
    return badInput;
}

}  // namespace

int main(int argc, char** argv) {
    observer::platform::prepareProcess();
    if (const auto status = replay::answerStandardOptions(argc, argv)) return *status;
    const auto invocation = replay::parseCommandLine(argc, argv);
    if (!invocation) return complain(std::string(replay::usageLine));
    const char* path = invocation->scenarioPath;
    const bool realtime = invocation->pace == replay::Pace::realtime;
    const bool stepped = invocation->pace == replay::Pace::stepped;

    replay::Scenario scenario;
    try {
        scenario = replay::parseScenario(replay::readScenarioFile(path));
    } catch (const replay::ScenarioError& error) {
        return complain(std::string(path) + ": " + error.what());
    }

    sim::reset();
    sim::passStreamsThrough(true);
    sim::setObserverProcess(scenario.pid, scenario.parentPid);
    sim::setClock(scenario.clock);
    sim::useRealClock(realtime);
    if (stepped) sim::stepTicksByLines(STDIN_FILENO);
    sim::useTextLocale(scenario.locale);
    sim::changeWorld(std::move(scenario.states.front().change));
    if (invocation->diagnose) {
        return observer::runDiagnosis({"quorvel-replay", QUORVEL_VERSION, invocation->allTitles});
    }

    // States come into force one by one, each changing what it lists.
    std::size_t next = 1;
    sim::planRunLoop(
        scenario.ticks,
        [&](long long tick) {
            if (next < scenario.states.size() && scenario.states[next].fromTick == tick) {
                sim::changeWorld(std::move(scenario.states[next++].change));
            }
        },
        realtime || stepped);

    observer::startObserver();
    observer::platform::runMainRunLoop();
    return 0;
}

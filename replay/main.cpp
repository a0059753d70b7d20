// quorvel-replay: runs the observer's real rules against the worlds of a scenario file
// and writes what quorvel would write, events to standard output and the log to
// standard error.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "observer/core/startup.h"
#include "observer/platform/run_loop.h"
#include "observer/platform/simulated/world.h"
#include "replay/command_line.h"
#include "replay/scenario.h"

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
    if (const auto status = replay::answerStandardOptions(argc, argv)) return *status;
    bool realtime = false;
    const char* path = nullptr;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--realtime" && !realtime) {
            realtime = true;
        } else if (path == nullptr && !argument.starts_with("-")) {
            path = argv[index];
        } else {
            path = nullptr;
            break;
        }
    }
    if (path == nullptr || (argc != 2 + (realtime ? 1 : 0))) {
        return complain("usage: quorvel-replay [--realtime] SCENARIO.json");
    }

    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    if (!file || !(contents << file.rdbuf())) {
        return complain(std::string(path) + ": cannot be read: " + std::strerror(errno));
    }
    replay::Scenario scenario;
    try {
        scenario = replay::parseScenario(contents.str());
    } catch (const replay::ScenarioError& error) {
        return complain(std::string(path) + ": " + error.what());
    }

    sim::reset();
    sim::passStreamsThrough(true);
    sim::setObserverProcess(scenario.pid, scenario.parentPid);
    sim::setClock(scenario.clock);
    sim::useRealClock(realtime);
    sim::setWorld(replay::worldAt(scenario, 0));

    const sim::World* shown = &replay::worldAt(scenario, 0);
    sim::planRunLoop(
        scenario.ticks,
        [&](long long tick) {
            const sim::World* next = &replay::worldAt(scenario, tick);
            if (next != shown) sim::setWorld(*(shown = next));
        },
        realtime);

    observer::startObserver();
    observer::platform::runMainRunLoop();
    return 0;
}

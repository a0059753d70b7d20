// The scenario reader under arbitrary bytes: every input ends in a scenario or in a
// ScenarioError. A crash, a hang, any other exception or a sanitizer report is a bug.
#include <cstddef>
#include <cstdint>
#include <string>

#include "replay/scenario.h"
#include "replay/scenario_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > replay::maxScenarioBytes) return 0;  // never read from a file
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const replay::Scenario scenario = replay::parseScenario(text);
        static_cast<void>(replay::worldAt(scenario, scenario.ticks));
    } catch (const replay::ScenarioError&) {
    }
    return 0;
}

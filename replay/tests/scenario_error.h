// What the scenario reader says about a scenario it refuses.
#pragma once

#include <string>

#include "replay/scenario.h"

namespace replay {

// The reader's message for `text`, or "no error" when it reads it.
inline std::string errorOf(const std::string& text) {
    try {
        parseScenario(text);
    } catch (const ScenarioError& error) {
        return error.what();
    }
    return "no error";
}

}  // namespace replay

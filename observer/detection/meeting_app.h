// Which meeting application owns the microphone session that has just begun.
#pragma once

#include <optional>
#include <string>

#include "observer/core/state.h"

namespace observer {

struct DetectionResult {
    std::string label;
    Pid pid;
    std::string title;  // possibly empty
};

// A frontmost pass that trusts the application the user works in, then a strict
// fallback pass over every running application. Logs each candidate it examines.
std::optional<DetectionResult> detectMeetingApp();

}  // namespace observer

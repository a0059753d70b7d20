// Which meeting application owns the microphone session that has just begun.
#pragma once

#include <optional>
#include <string>

#include "observer/core/state.h"
#include "observer/platform/workspace.h"

namespace observer {

struct DetectionResult {
    std::string label;
    Pid pid;
    std::string title;  // possibly empty
};

// A frontmost pass that trusts the application the user works in, then a strict
// fallback pass over every running application. Logs each candidate it examines.
std::optional<DetectionResult> detectMeetingApp();

// The first row of `meetingApps` whose match the application's name or bundle identifier
// contains, as both passes look for it; nothing when it is no meeting application.
const MeetingApp* catalogueRowOf(const platform::RunningApplication& app);

}  // namespace observer

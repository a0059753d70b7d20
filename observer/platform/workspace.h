// The workspace's running applications.
//
// Contract: `runningApplications` is a snapshot of every running application in the
// workspace's own order, which is stable from one call to the next. `frontmostApplication`
// is the application receiving key events, or nothing. Names and bundle identifiers are
// valid UTF-8 or absent. Both answer with the state that the workspace had reported by the
// moment of the call (a backend may keep a mirror that the system's own notifications keep
// current); failures give an empty list or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace observer::platform {

struct RunningApplication {
    std::optional<std::string> localizedName;
    std::optional<std::string> bundleIdentifier;
    std::int32_t processIdentifier = -1;
};

std::vector<RunningApplication> runningApplications();
std::optional<RunningApplication> frontmostApplication();

}  // namespace observer::platform

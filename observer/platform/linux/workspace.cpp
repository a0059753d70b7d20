// The workspace on Linux until a window-system backend answers: no applications.
#include "observer/platform/workspace.h"

namespace observer::platform {

std::vector<RunningApplication> runningApplications() {
    return {};
}

std::optional<RunningApplication> frontmostApplication() {
    return std::nullopt;
}

}  // namespace observer::platform

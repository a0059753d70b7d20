// The workspace over the simulated world.
#include "observer/platform/workspace.h"

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

std::vector<RunningApplication> runningApplications() {
    return simulated::simulation().world.apps;
}

std::optional<RunningApplication> frontmostApplication() {
    const simulated::World& world = simulated::simulation().world;
    if (!world.frontmostPid) return std::nullopt;
    for (const RunningApplication& app : world.apps) {
        if (app.processIdentifier == *world.frontmostPid) return app;
    }
    return std::nullopt;
}

}  // namespace observer::platform

// The workspace over the simulated world.
#include "observer/platform/workspace.h"

#include "observer/platform/simulated/simulation.h"

namespace observer::platform {

std::vector<RunningApplication> runningApplications() {
    simulated::Simulation& s = simulated::simulation();
    ++s.runningApplicationsQueries;
    return s.world.apps;
}

std::optional<RunningApplication> frontmostApplication() {
    simulated::Simulation& s = simulated::simulation();
    ++s.frontmostApplicationQueries;
    const simulated::World& world = s.world;
    if (!world.frontmostPid) return std::nullopt;
    for (const RunningApplication& app : world.apps) {
        if (app.processIdentifier == *world.frontmostPid) return app;
    }
    return std::nullopt;
}

}  // namespace observer::platform

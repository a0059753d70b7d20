// A desktop that never comes to rest, as a long working day looks to quorvel: every
// second some sound clients leave and others connect, an application closes its windows
// and another opens new ones, titles change, and every two minutes a meeting starts and
// later ends. The desktop keeps its size and its mix: whatever leaves is killed and
// reaped and a newcomer takes its place, so that only quorvel could grow.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "bench/world/private_desktop.h"
#include "bench/world/world_clients.h"

namespace bench::churn {

class ChurningDesktop {
public:
    explicit ChurningDesktop(const world::PrivateDesktop& desktop);

    // The steady world that the churn starts from, every window shown and the servers quiet.
    bool populate();
    // What happens in second `second` of the run. A hitch (a newcomer that could not
    // start) is told on standard error and the run goes on: the world is then one
    // process short until that process is replaced in turn.
    void step(long second);
    std::string describe() const;

private:
    world::WindowSet nextWindows();
    void replaceSoundClients();
    void replaceWindowOwners(long second);
    void retitle(long second);
    void meet(long second);

    const world::PrivateDesktop& desktop_;
    std::deque<world::SoundClient> soundClients_;
    std::deque<world::WindowOwner> windowOwners_;
    std::unique_ptr<testbed::Actor> meeting_;
    int soundClientsStarted_ = 0;
    int windowOwnersStarted_ = 0;
};

}  // namespace bench::churn

// Starting meeting_actor, the program that plays applications in these tests.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testbed/child_process.h"

namespace testbed {

struct Actor {
    Child process;
    pid_t pid = -1;

    bool command(const std::string& line) { return process.command(line); }
};

// The actor program as the build made it.
std::string meetingActorPath();
// The script that runs a program as a Flatpak application: fake_flatpak.sh APP_ID COMMAND...
std::string fakeFlatpakPath();

// `commandName` other than "meeting_actor" runs the actor through a symlink of that name
// in `directory`, which becomes the process's command name.
std::unique_ptr<Actor> startActor(const std::string& directory, const std::string& commandName,
                                  std::vector<std::pair<std::string, std::string>> environment);

}  // namespace testbed

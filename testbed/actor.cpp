// The actor's path comes from the build; a symlink gives it another command name.
#include "testbed/actor.h"

#include <filesystem>

namespace testbed {

std::string meetingActorPath() {
    return MEETING_ACTOR_PATH;
}

std::string fakeFlatpakPath() {
    return FAKE_FLATPAK_PATH;
}

std::unique_ptr<Actor> startActor(const std::string& directory, const std::string& commandName,
                                  std::vector<std::pair<std::string, std::string>> environment) {
    std::string program = meetingActorPath();
    if (commandName != std::filesystem::path(program).filename()) {
        const std::string link = directory + "/" + commandName;
        std::error_code error;
        if (!std::filesystem::exists(link)) std::filesystem::create_symlink(program, link, error);
        program = link;
    }
    auto actor = std::make_unique<Actor>();
    Launch launch;
    launch.arguments = {program};
    launch.environment = std::move(environment);
    launch.talk = true;
    actor->process = Child(launch);
    const auto ready = actor->process.readLine(std::chrono::seconds(5));
    if (!ready || ready->rfind("ready ", 0) != 0) return nullptr;
    actor->pid = std::stoi(ready->substr(6));
    return actor;
}

}  // namespace testbed

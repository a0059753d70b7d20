// The running applications that Flatpak sandboxes, by their Flatpak ids: for naming the
// application behind a sound-server client that PipeWire says is sandboxed. Flatpak
// writes the application's id into /.flatpak-info of the sandbox's root; the window
// owners' pids are the host's, from the X server's socket credentials.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace observer::platform::flatpak {

// The Flatpak id in the "[Application]" group of a .flatpak-info file's text ("name=").
std::optional<std::string> applicationIdIn(std::string_view flatpakInfo);

// The id of the Flatpak application that the process runs, read from its root's
// /.flatpak-info; nothing for a process outside a sandbox or one that cannot be read.
std::optional<std::string> applicationIdOf(std::int32_t pid);

// The pid of a running application (a window owner) whose Flatpak id is `id`, the first
// in the order of the running-application list.
std::optional<std::int32_t> runningApplication(std::string_view id);

}  // namespace observer::platform::flatpak

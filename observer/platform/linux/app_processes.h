// The running process of an application whose windows do not tell their owner (the
// wlroots toplevel list has no pids): a process whose command name is the program's,
// whose parent's is not, since an application's helpers mostly share its name and
// descend from it, and that runs in this Wayland session (its WAYLAND_DISPLAY is
// quorvel's). The kernel keeps 15 bytes of a command name, so a program's name is
// compared on its first 15.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace observer::platform::apps {

// Nothing when no process runs the program; of several, the lowest pid.
std::optional<std::int32_t> runningProcessOf(std::string_view program);

}  // namespace observer::platform::apps

// sway's GET_TREE answer as the compositor's view of the windows.
//
// Every window is a leaf container with a pid: "xdg_shell" windows name their app id,
// XWayland windows their class and instance (window_properties); "name" is the title.
// "visible" tells whether a window is on screen (not on a hidden workspace, in the
// scratchpad or in a tab behind another). Tiled windows never overlap, so what is in
// front is what was focused last: each container lists its children's ids in "focus",
// most recently focused first, and following those lists from the root gives the
// windows in focus order, which is the front-to-back order here. Container ids grow as
// sway makes containers, so they give the order the windows were made.
#pragma once

#include <optional>
#include <string_view>

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::sway {

// Nothing for an answer that is no tree.
std::optional<compositor::View> viewOfTree(std::string_view json);

}  // namespace observer::platform::sway

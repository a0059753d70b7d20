// sway's view of the windows over its IPC socket ($SWAYSOCK): the tree asked for once
// after connecting and again after each window or workspace event that sway sends, so
// that a query answers from the last tree without a round trip of its own. The only
// waits are bounded: for the first tree, and for the tree asked for after an event.
// A lost connection drops the view; the next call connects again.
#pragma once

#include "observer/platform/linux/compositor_windows.h"

namespace observer::platform::sway {

// Nothing while sway cannot be reached. Valid until the next call.
const compositor::View* currentView();
void takeInArrived();

}  // namespace observer::platform::sway

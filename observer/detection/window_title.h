// The title of a process's first titled window on screen.
#pragma once

#include <string>

#include "observer/core/state.h"

namespace observer {

// The empty string when the process shows no titled window, or the list cannot be read.
// Between `shareWindowListWithinTick` and `forgetWindowList` every lookup scans the same
// copy of the list, made by the first of them; outside that span each lookup copies it.
std::string getWindowTitle(Pid pid);

void shareWindowListWithinTick();
void forgetWindowList();

}  // namespace observer

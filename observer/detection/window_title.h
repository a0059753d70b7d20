// The title of a process's first titled window on screen.
#pragma once

#include <string>

#include "observer/core/state.h"

namespace observer {

// The empty string when the process shows no titled window, or the list cannot be read.
std::string getWindowTitle(Pid pid);

}  // namespace observer

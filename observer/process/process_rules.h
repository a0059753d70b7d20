// How a process relates to the observer, the host application, a meeting application
// or a system audio service. Every lookup that fails counts as a no.
#pragma once

#include <string_view>

#include "observer/core/state.h"

namespace observer {

// Parent walks end after this many steps, so loops in the parent chain end too.
inline constexpr int parentWalkLimit = 32;

// True when `pid` is `ancestor` itself or lies below it within the walk limit. Pids of 1
// and below are never ancestors.
bool isDescendant(Pid pid, Pid of);
// The observer itself, the host application and the host's descendants.
bool isOwnProcess(Pid pid);
bool isNonMeetingInputService(Pid pid);
// A descendant of the application's pid, or for "Safari" any of its web content processes.
bool belongsToApp(Pid pid, Pid appPID, std::string_view label);

}  // namespace observer

// The process's own channels on descriptors 1 and 2, and the frame of the diagnostic
// lines that the platform writes on its own.
//
// Closing standard output ends the process with status 0 after the log line "standard
// output closed — exiting"; closing standard error drops the log for good.
#pragma once

#include <string>
#include <string_view>

#include "observer/platform/helpers/posix/output_channels.h"
#include "observer/platform/standard_streams.h"

namespace observer::platform::posix {

EventChannel& standardOutputChannel();
DiagnosticChannel& standardErrorChannel();

// The observer's frame of a log line (useLogFrame), and `message` as a whole log line in
// it: the bare message and "\n" before the observer has handed one over.
void setLogFrame(LogFrame frame);
std::string framedMessage(std::string_view message);

}  // namespace observer::platform::posix

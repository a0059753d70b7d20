// The observer's two output channels.
//
// Contract: `writeEventLine` writes `text` followed by one "\n" to standard output and
// flushes it, so that the line has reached the reader's pipe when the call returns.
// `writeDiagnosticLine` writes `line` (which carries its own "\n") to standard error
// with one write, so lines of the log never interleave. Failures are ignored: a line
// that cannot be written is lost.
#pragma once

#include <string_view>

namespace observer::platform {

void writeEventLine(std::string_view text);
void writeDiagnosticLine(std::string_view line);

}  // namespace observer::platform

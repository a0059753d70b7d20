// The observer's two output channels.
//
// Contract: `writeEventLine` hands `text` followed by one "\n" to standard output without
// ever waiting for the reader. What the stream cannot take at once waits, in order, in a
// bounded queue that the run loop flushes as soon as the stream becomes writable, so the
// line is on its way when the call returns and no event is ever dropped. When the queue is
// full the line is not taken and the answer is false; `waitForEventRoom` then waits up to
// the given time for the reader to make room. When the reader has closed standard output,
// the process ends with status 0 after one log line.
// `writeDiagnosticLine` writes `line` (which carries its own "\n") to standard error with
// one write, so lines of the log never interleave. A line that cannot be written at once
// is dropped; when the log can be written again, a line "N diagnostic lines dropped" comes
// first. When standard error is closed the log is dropped and the observer goes on.
// `useLogFrame` hands over the observer's frame of a log line (the time stamp before a
// message and the "\n" after it), which the platform's own lines then wear too: the count
// of dropped lines, the end on a closed standard output, a server's reachability. The
// observer hands it over before it writes anything; a line written earlier is the bare
// message and "\n". `writeDiagnosticMessage` writes such a line of the platform's; a
// frame that answers an empty line has taken the message for itself (the diagnosis
// collects them), and nothing is written.
// `writeDocument` writes a one-shot answer (the diagnosis) to standard output whole,
// waiting for the reader as long as it takes: never an event, since nothing else is
// written once it has been.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace observer::platform {

[[nodiscard]] bool writeEventLine(std::string_view text);
void waitForEventRoom(std::chrono::milliseconds timeout);
void writeDiagnosticLine(std::string_view line);

using LogFrame = std::string (*)(std::string_view message);
void useLogFrame(LogFrame frame);
void writeDiagnosticMessage(std::string_view message);
void writeDocument(std::string_view text);

}  // namespace observer::platform

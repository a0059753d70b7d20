// The event stream on standard output and the diagnostic log on standard error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "observer/core/state.h"
#include "observer/platform/local_time.h"

namespace observer {

// The local time of day that opens every diagnostic line, "HH:mm:ss.SSS".
std::string ts();
std::string formatTimeOfDay(const platform::TimeOfDay& time);

// JSON string escaping for event values: backslash, double quote and the control
// characters below U+0020, so that every event stays one valid JSON line.
std::string escapeJSONString(std::string_view text);

void emitHeartbeat();
void emitMicMode(bool perProcess);
void emitMicInactive();
// Echoes the line to the log, then writes it to the stream. An absent title leaves the
// title key out.
void emitJSON(std::string_view event, std::string_view app, Pid pid, const std::optional<std::string>& title);

// "[" + ts() + "] " + message + "\n": the frame of every diagnostic line, the platform's
// own lines included (startup hands it over).
std::string logFrame(std::string_view message);
// Writes the message in that frame with one write.
void logLine(std::string_view message);
// While `lines` is set, log messages are added to it and not written: the diagnosis
// shows what the rules would log. Nothing: written again.
void collectLogLines(std::vector<std::string>* lines);

}  // namespace observer

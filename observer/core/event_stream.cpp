// Event lines and diagnostic lines, byte for byte as the host application reads them.
#include "observer/core/event_stream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>

#include "observer/core/host_watch.h"
#include "observer/platform/local_time.h"
#include "observer/platform/standard_streams.h"

namespace observer {

namespace {

// The queue for a slow reader holds days of events; a host that has not read that much is
// waited for, never skipped, since an event once written is never dropped. Meanwhile the
// host is looked for once a second, so that a dead host is not waited for.
void writeEvent(std::string_view line) {
    while (!platform::writeEventLine(line)) {
        platform::waitForEventRoom(std::chrono::seconds(1));
        if (endIfHostIsGone()) return;
    }
}

}  // namespace

std::string ts() {
    return formatTimeOfDay(platform::localTimeOfDay());
}

std::string formatTimeOfDay(const platform::TimeOfDay& time) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", time.hours, time.minutes, time.seconds, time.milliseconds);
    return text;
}

namespace {

// U+0085, U+2028 and U+2029 may stand raw in a JSON string, but readers that split text on
// every Unicode line break would cut the event line there.
struct UnicodeLineBreak {
    std::string_view utf8;
    std::string_view escaped;
};
constexpr UnicodeLineBreak unicodeLineBreaks[] = {
    {"\xC2\x85", "\\u0085"}, {"\xE2\x80\xA8", "\\u2028"}, {"\xE2\x80\xA9", "\\u2029"}};

}  // namespace

std::string escapeJSONString(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\xC2' || c == '\xE2') {
            const std::string_view rest = text.substr(at);
            const auto* lineBreak = std::find_if(std::begin(unicodeLineBreaks), std::end(unicodeLineBreaks),
                                                 [&](const auto& candidate) { return rest.starts_with(candidate.utf8); });
            if (lineBreak != std::end(unicodeLineBreaks)) {
                escaped += lineBreak->escaped;
                at += lineBreak->utf8.size() - 1;
                continue;
            }
        }
        switch (c) {
            case '\\': escaped += "\\\\"; break;
            case '"': escaped += "\\\""; break;
            case '\b': escaped += "\\b"; break;
            case '\f': escaped += "\\f"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\t': escaped += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char code[7];
                    std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
                    escaped += code;
                } else {
                    escaped += c;
                }
        }
    }
    return escaped;
}

void emitHeartbeat() {
    writeEvent(R"({"event":"heartbeat"})");
}

void emitMicMode(bool perProcess) {
    writeEvent(perProcess ? R"({"event":"mic-mode","perProcess":true})"
                                        : R"({"event":"mic-mode","perProcess":false})");
}

void emitMicInactive() {
    writeEvent(R"({"event":"mic-inactive","app":"","pid":0})");
}

void emitJSON(std::string_view event, std::string_view app, Pid pid, const std::optional<std::string>& title) {
    std::string line = R"({"event":")";
    line += event;
    line += R"(","app":")";
    line += escapeJSONString(app);
    line += R"(","pid":)";
    line += std::to_string(pid);
    if (title) {
        line += R"(,"title":")";
        line += escapeJSONString(*title);
        line += '"';
    }
    line += '}';
    logLine("EMIT -> " + line);
    writeEvent(line);
}

// Built by appending: GCC 12 at -O3 reports a false overlap for a literal + a temporary
// string.
std::string logFrame(std::string_view message) {
    std::string line = "[";
    line += ts();
    line += "] ";
    line += message;
    line += '\n';
    return line;
}

namespace {
std::vector<std::string>* collectedLines = nullptr;
}  // namespace

void logLine(std::string_view message) {
    if (collectedLines != nullptr) {
        collectedLines->emplace_back(message);
        return;
    }
    platform::writeDiagnosticLine(logFrame(message));
}

void collectLogLines(std::vector<std::string>* lines) {
    collectedLines = lines;
}

}  // namespace observer

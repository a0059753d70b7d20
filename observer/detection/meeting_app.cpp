// Meeting application detection over the workspace, the window list and the mic.
#include "observer/detection/meeting_app.h"

#include <string_view>
#include <vector>

#include "observer/audio/mic_usage.h"
#include "observer/core/event_stream.h"
#include "observer/detection/title_rules.h"
#include "observer/detection/window_title.h"
#include "observer/platform/text.h"
#include "observer/platform/workspace.h"

namespace observer {
namespace {

bool contains(const std::optional<std::string>& property, std::string_view match) {
    return property && platform::localizedCaseInsensitiveContains(*property, match);
}

bool matches(const platform::RunningApplication& app, const MeetingApp& row) {
    return contains(app.localizedName, row.match) || contains(app.bundleIdentifier, row.match);
}

std::string candidateLine(std::string_view prefix, std::string_view label, std::string_view title) {
    std::string line(prefix);
    line += label;
    line += " \u2014 \"";
    line += title;
    line += '"';
    return line;
}

std::optional<DetectionResult> frontmostPass(const platform::RunningApplication& frontmost) {
    for (const MeetingApp& row : meetingApps) {
        if (!matches(frontmost, row)) continue;
        const Pid pid = frontmost.processIdentifier;
        if (!isMicAttributable(pid, row.label)) return std::nullopt;
        std::string title = getWindowTitle(pid);
        logLine(candidateLine("frontmost: ", row.label, title));
        if (shouldTrustMicWithoutTitle(row.label)) {
            logLine("mic active + dedicated app \u2014 attributing to " + row.label);
        } else if (isMeetingTitle(title)) {
            logLine("title confirms meeting \u2014 attributing to " + row.label);
        } else if (isBrowserMeetingApp(row.label)) {
            logLine("browser title mismatch \u2014 keeping frontmost browser attribution for " + row.label);
        } else {
            logLine("title not a meeting \u2014 skipping to avoid false positive");
            continue;
        }
        return DetectionResult{row.label, pid, std::move(title)};
    }
    return std::nullopt;
}

std::optional<DetectionResult> fallbackPass(const std::vector<platform::RunningApplication>& running) {
    for (const MeetingApp& row : meetingApps) {
        const platform::RunningApplication* candidate = nullptr;
        for (const auto& app : running) {
            if (matches(app, row)) {
                candidate = &app;
                break;
            }
        }
        if (candidate == nullptr) continue;
        const Pid pid = candidate->processIdentifier;
        std::string title = getWindowTitle(pid);
        logLine(candidateLine("fallback candidate: ", row.label, title));
        if (isMeetingTitle(title) && isMicAttributable(pid, row.label)) {
            return DetectionResult{row.label, pid, std::move(title)};
        }
    }
    return std::nullopt;
}

}  // namespace

const MeetingApp* catalogueRowOf(const platform::RunningApplication& app) {
    for (const MeetingApp& row : meetingApps)
        if (matches(app, row)) return &row;
    return nullptr;
}

std::optional<DetectionResult> detectMeetingApp() {
    const std::vector<platform::RunningApplication> running = platform::runningApplications();
    if (const auto frontmost = platform::frontmostApplication()) {
        if (auto result = frontmostPass(*frontmost)) return result;
    }
    return fallbackPass(running);
}

}  // namespace observer

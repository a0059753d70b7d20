// Meeting application detection over the workspace, the window list and the mic.
#include "observer/detection/meeting_app.h"

#include <string_view>
#include <vector>

#include "observer/audio/mic_usage.h"
#include "observer/core/event_stream.h"
#include "observer/detection/catalogue_matches.h"
#include "observer/detection/title_rules.h"
#include "observer/detection/window_title.h"
#include "observer/platform/workspace.h"

namespace observer {
namespace {

std::string candidateLine(std::string_view prefix, std::string_view label, std::string_view title) {
    std::string line(prefix);
    line += label;
    line += " \u2014 \"";
    line += title;
    line += '"';
    return line;
}

std::optional<DetectionResult> frontmostPass(const platform::RunningApplication& frontmost,
                                             CatalogueMatches& catalogue) {
    for (std::size_t rowIndex = 0; rowIndex < meetingApps.size(); ++rowIndex) {
        if (!catalogue.matches(frontmost, rowIndex)) continue;
        const MeetingApp& row = meetingApps[rowIndex];
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

std::optional<DetectionResult> fallbackPass(const std::vector<platform::RunningApplication>& running,
                                            CatalogueMatches& catalogue) {
    for (std::size_t rowIndex = 0; rowIndex < meetingApps.size(); ++rowIndex) {
        const platform::RunningApplication* candidate = nullptr;
        for (std::size_t index = 0; index < running.size(); ++index) {
            if (catalogue.runningMatches(index, rowIndex)) {
                candidate = &running[index];
                break;
            }
        }
        if (candidate == nullptr) continue;
        const MeetingApp& row = meetingApps[rowIndex];
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
        if (matchesRow(app, row)) return &row;
    return nullptr;
}

std::optional<DetectionResult> detectMeetingApp() {
    const std::vector<platform::RunningApplication> running = platform::runningApplications();
    const auto frontmost = platform::frontmostApplication();
    CatalogueMatches catalogue(running);
    if (frontmost) {
        if (auto result = frontmostPass(*frontmost, catalogue)) return result;
    }
    return fallbackPass(running, catalogue);
}

}  // namespace observer

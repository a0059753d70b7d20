// Definitions of the module-level state and the catalogue tables' contents.
#include "observer/core/state.h"

namespace observer {

Pid ownAppPID = 0;
LabelSet nonMeetingInputServices;
bool hasPerProcessInput = false;
std::vector<MeetingApp> meetingApps;
LabelSet dedicatedMeetingApps;
LabelSet browserMeetingApps;
std::vector<std::string> meetingTitlePatterns;

bool micWasActive = false;
bool emittedForCurrentSession = false;
std::optional<TrackedApp> trackedApp;
std::int64_t heartbeatTicks = 0;

LabelSet nonMeetingInputServicesCatalogue() {
    return {"replayd", "corespeechd"};
}

// Order matters: the first row an application matches decides its label.
std::vector<MeetingApp> meetingAppsCatalogue() {
    return {
        {"zoom.us", "Zoom"},
        {"Zoom", "Zoom"},
        {"Microsoft Teams", "Microsoft Teams"},
        {"Cisco Webex", "Webex"},
        {"Slack", "Slack"},
        {"Google Chrome", "Google Chrome"},
        {"edgemac", "Microsoft Edge"},
        {"Safari", "Safari"},
        {"Firefox", "Firefox"},
        {"Opera", "Opera"},
        {"Brave Browser", "Brave"},
    };
}

LabelSet dedicatedMeetingAppsCatalogue() {
    return {"Zoom", "Microsoft Teams", "Webex", "Slack"};
}

LabelSet browserMeetingAppsCatalogue() {
    return {"Google Chrome", "Microsoft Edge", "Safari", "Firefox", "Opera", "Brave"};
}

std::vector<std::string> meetingTitlePatternsCatalogue() {
    return {
        "Meet \u2013 ",  // en dash
        "Meet - ",
        "Google Meet",
        "Meet and",
        "Zoom Meeting",
        "Zoom Webinar",
        "| Microsoft Teams",
        "Microsoft Teams",
        "Slack call",
        "huddle",
        "Webex",
    };
}

void fillMeetingCatalogue() {
    meetingApps = meetingAppsCatalogue();
    dedicatedMeetingApps = dedicatedMeetingAppsCatalogue();
    browserMeetingApps = browserMeetingAppsCatalogue();
    meetingTitlePatterns = meetingTitlePatternsCatalogue();
}

void resetSession() {
    micWasActive = false;
    emittedForCurrentSession = false;
    trackedApp.reset();
    heartbeatTicks = 0;
}

}  // namespace observer

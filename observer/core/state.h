// The observer's module-level state: the host application's pid, the catalogue tables
// and the detection mode, all fixed at startup, and the session state that only the
// poll tick changes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace observer {

using Pid = std::int32_t;

// Sets of whole names and labels, searched without building a string for each lookup.
using LabelSet = std::set<std::string, std::less<>>;

struct MeetingApp {
    std::string match;  // looked for in an application's name or bundle identifier
    std::string label;  // what events and log lines call the application
};

struct TrackedApp {
    Pid pid;
    std::string label;
};

extern Pid ownAppPID;
extern LabelSet nonMeetingInputServices;
extern bool hasPerProcessInput;
extern std::vector<MeetingApp> meetingApps;
extern LabelSet dedicatedMeetingApps;
extern LabelSet browserMeetingApps;
extern std::vector<std::string> meetingTitlePatterns;

extern bool micWasActive;
extern bool emittedForCurrentSession;
extern std::optional<TrackedApp> trackedApp;
extern std::int64_t heartbeatTicks;

// The catalogue, as startup fills it.
LabelSet nonMeetingInputServicesCatalogue();
std::vector<MeetingApp> meetingAppsCatalogue();
LabelSet dedicatedMeetingAppsCatalogue();
LabelSet browserMeetingAppsCatalogue();
std::vector<std::string> meetingTitlePatternsCatalogue();

// Fills the four tables that meeting detection reads from their catalogues.
void fillMeetingCatalogue();
// The session state as before the first tick: no microphone use seen, nothing tracked.
void resetSession();

}  // namespace observer

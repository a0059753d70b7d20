// The observer's module-level state: the host application's pid, the catalogue tables
// and the detection mode, all fixed at startup, and the session state that only the
// poll tick changes.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace observer {

using Pid = std::int32_t;

struct MeetingApp {
    std::string match;  // looked for in an application's name or bundle identifier
    std::string label;  // what events and log lines call the application
};

struct TrackedApp {
    Pid pid;
    std::string label;
};

extern Pid ownAppPID;
extern std::set<std::string> nonMeetingInputServices;
extern bool hasPerProcessInput;
extern std::vector<MeetingApp> meetingApps;
extern std::set<std::string> dedicatedMeetingApps;
extern std::set<std::string> browserMeetingApps;
extern std::vector<std::string> meetingTitlePatterns;

extern bool micWasActive;
extern bool emittedForCurrentSession;
extern std::optional<TrackedApp> trackedApp;
extern std::int64_t heartbeatTicks;

// The catalogue, as startup fills it.
std::set<std::string> nonMeetingInputServicesCatalogue();
std::vector<MeetingApp> meetingAppsCatalogue();
std::set<std::string> dedicatedMeetingAppsCatalogue();
std::set<std::string> browserMeetingAppsCatalogue();
std::vector<std::string> meetingTitlePatternsCatalogue();

}  // namespace observer

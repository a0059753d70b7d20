#include "bench/churn/churning_desktop.h"

#include <chrono>
#include <cstdio>

namespace bench::churn {
namespace {

using namespace std::chrono_literals;

// The steady world; each second, who leaves and is replaced; and the meetings, which run
// from `meetingStart` to `meetingStart + meetingLength` seconds into every period.
constexpr int soundClients = 20;
constexpr int windowOwners = 10;
constexpr int windowsPerOwner = 10;
constexpr int soundClientsReplaced = 2;
constexpr int windowOwnersReplaced = 1;
constexpr int retitles = 3;
constexpr long meetingPeriod = 120;
constexpr long meetingStart = 20;
constexpr long meetingLength = 60;

struct Application {
    const char* instance;
    const char* className;
    const char* document;
};

// Applications with no place in quorvel's catalogue, so that only the meeting is ever
// attributed.
constexpr Application applications[] = {
    {"editor", "Editor", "Document"}, {"terminal", "Terminal", "Shell"}, {"files", "Files", "Folder"},
    {"sheet", "Spreadsheet", "Budget"}, {"viewer", "Viewer", "Photo"},  {"mail", "Mail", "Message"},
    {"notes", "Notes", "Note"},
};
constexpr int applicationCount = static_cast<int>(sizeof applications / sizeof applications[0]);

}  // namespace

ChurningDesktop::ChurningDesktop(const world::PrivateDesktop& desktop) : desktop_(desktop) {}

bool ChurningDesktop::populate() {
    for (int i = 0; i < soundClients; ++i) soundClients_.push_back(desktop_.soundClient(soundClientsStarted_++));
    for (int i = 0; i < windowOwners; ++i) windowOwners_.emplace_back(desktop_.display(), nextWindows());
    for (world::WindowOwner& owner : windowOwners_)
        if (!owner.ready(60s)) return false;
    desktop_.settle();
    return true;
}

void ChurningDesktop::step(long second) {
    replaceSoundClients();
    replaceWindowOwners(second);
    retitle(second);
    meet(second);
}

std::string ChurningDesktop::describe() const {
    char text[512];
    std::snprintf(text, sizeof text,
                  "%d sound clients (a third recording the microphone, a third a monitor, a third corked), %d windows "
                  "from %d processes; replaced each second: %d sound clients, %d window-owning process with its "
                  "windows; retitled each second: %d windows; a meeting of %ld s every %ld s, from second %ld",
                  soundClients, windowOwners * windowsPerOwner, windowOwners, soundClientsReplaced,
                  windowOwnersReplaced, retitles, meetingLength, meetingPeriod, meetingStart);
    return text;
}

// Every fourth application has a window class never seen before: whatever quorvel keeps
// per class must then be let go, not merely be bounded by the few classes of a small
// desktop. Titles never repeat either.
world::WindowSet ChurningDesktop::nextWindows() {
    const int number = windowOwnersStarted_++;
    world::WindowSet windows;
    if (number % 4 == 3) {
        windows.instance = "tool";
        windows.instance += std::to_string(number);
        windows.className = "Tool";
        windows.className += std::to_string(number);
        windows.document = "Item";
    } else {
        const Application& application = applications[number % applicationCount];
        windows.instance = application.instance;
        windows.className = application.className;
        windows.document = application.document;
    }
    windows.first = number * windowsPerOwner;
    windows.count = windowsPerOwner;
    return windows;
}

// The oldest leave first, so that every client lives as long as every other.
void ChurningDesktop::replaceSoundClients() {
    for (int i = 0; i < soundClientsReplaced && !soundClients_.empty(); ++i) {
        soundClients_.pop_front();
        soundClients_.push_back(desktop_.soundClient(soundClientsStarted_++));
    }
}

void ChurningDesktop::replaceWindowOwners(long second) {
    for (int i = 0; i < windowOwnersReplaced && !windowOwners_.empty(); ++i) {
        windowOwners_.pop_front();
        windowOwners_.emplace_back(desktop_.display(), nextWindows());
        if (!windowOwners_.back().ready(5s))
            std::fprintf(stderr, "second %ld: a new application's windows were not shown within 5 s\n", second);
    }
}

void ChurningDesktop::retitle(long second) {
    if (windowOwners_.empty()) return;
    for (int i = 0; i < retitles; ++i) {
        const auto owner = static_cast<std::size_t>(second * retitles + i) % windowOwners_.size();
        windowOwners_[owner].retitleNext();
    }
}

void ChurningDesktop::meet(long second) {
    const long intoPeriod = second % meetingPeriod;
    if (intoPeriod == meetingStart) {
        meeting_ = desktop_.startMeeting();
        if (!meeting_) std::fprintf(stderr, "second %ld: the meeting could not start\n", second);
    } else if (intoPeriod == meetingStart + meetingLength && meeting_) {
        // The call ends before the application closes, as when a person hangs up first.
        meeting_->command("stop");
        meeting_.reset();
    }
}

}  // namespace bench::churn

// Which catalogue rows the running applications match, for one detection. A desktop
// lists every process that owns a window as an application of its own, and many of them
// share a name (several instances of one terminal or editor, each a process of its own):
// each row is searched for once per distinct name and bundle identifier, when a pass
// first asks, so a detection costs text searches in the number of distinct applications,
// not in the number of processes or windows.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "observer/core/state.h"
#include "observer/platform/workspace.h"

namespace observer {

// Whether the row's match occurs in the application's name or bundle identifier.
bool matchesRow(const platform::RunningApplication& app, const MeetingApp& row);

class CatalogueMatches {
public:
    // The applications asked about must outlive this: their names are not copied.
    explicit CatalogueMatches(const std::vector<platform::RunningApplication>& running);

    // Whether `running[index]`, as given to the constructor, matches `meetingApps[row]`.
    bool runningMatches(std::size_t index, std::size_t row);
    // The same for an application that need not be in the list, such as the frontmost one.
    bool matches(const platform::RunningApplication& app, std::size_t row);

private:
    enum class Answer : unsigned char { unknown, no, yes };
    // An application's name and bundle identifier, where the application keeps them.
    struct Identity {
        const platform::RunningApplication* app;
        bool operator==(const Identity& other) const;
    };
    struct IdentityHash {
        std::size_t operator()(const Identity& identity) const;
    };

    std::size_t identityOf(const platform::RunningApplication& app);
    bool answer(std::size_t identity, std::size_t row);

    std::unordered_map<Identity, std::size_t, IdentityHash> identities_;
    std::vector<const platform::RunningApplication*> searched_;  // by identity: the first application seen with it
    std::vector<Answer> answers_;  // identity by identity, each its rows
    std::vector<std::size_t> runningIdentities_;
};

}  // namespace observer

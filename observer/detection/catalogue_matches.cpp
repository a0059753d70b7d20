// Catalogue matches answered once per distinct application identity.
#include "observer/detection/catalogue_matches.h"

#include <functional>
#include <optional>
#include <string>

#include "observer/platform/text.h"

namespace observer {
namespace {

bool contains(const std::optional<std::string>& property, std::string_view match) {
    return property && platform::localizedCaseInsensitiveContains(*property, match);
}

std::size_t hashOf(const std::optional<std::string>& text) {
    return text ? std::hash<std::string>{}(*text) : 0x9e3779b9u;
}

}  // namespace

bool matchesRow(const platform::RunningApplication& app, const MeetingApp& row) {
    return contains(app.localizedName, row.match) || contains(app.bundleIdentifier, row.match);
}

bool CatalogueMatches::Identity::operator==(const Identity& other) const {
    return app->localizedName == other.app->localizedName && app->bundleIdentifier == other.app->bundleIdentifier;
}

std::size_t CatalogueMatches::IdentityHash::operator()(const Identity& identity) const {
    return hashOf(identity.app->localizedName) * 31 + hashOf(identity.app->bundleIdentifier);
}

CatalogueMatches::CatalogueMatches(const std::vector<platform::RunningApplication>& running) {
    runningIdentities_.reserve(running.size());
    for (const platform::RunningApplication& app : running) runningIdentities_.push_back(identityOf(app));
}

bool CatalogueMatches::runningMatches(std::size_t index, std::size_t row) {
    return answer(runningIdentities_[index], row);
}

bool CatalogueMatches::matches(const platform::RunningApplication& app, std::size_t row) {
    return answer(identityOf(app), row);
}

std::size_t CatalogueMatches::identityOf(const platform::RunningApplication& app) {
    const auto [entry, added] = identities_.try_emplace(Identity{&app}, searched_.size());
    if (added) {
        searched_.push_back(&app);
        answers_.resize(answers_.size() + meetingApps.size(), Answer::unknown);
    }
    return entry->second;
}

bool CatalogueMatches::answer(std::size_t identity, std::size_t row) {
    Answer& known = answers_[identity * meetingApps.size() + row];
    if (known == Answer::unknown) known = matchesRow(*searched_[identity], meetingApps[row]) ? Answer::yes : Answer::no;
    return known == Answer::yes;
}

}  // namespace observer

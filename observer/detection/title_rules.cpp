// Title and label rules over the catalogue tables.
#include "observer/detection/title_rules.h"

#include <string>

#include "observer/core/state.h"
#include "observer/platform/text.h"

namespace observer {
namespace {

// Browsers put these in a tab's title while it plays or mutes sound.
constexpr std::string_view speakerSymbols[] = {"\U0001F50A", "\U0001F507"};
constexpr std::string_view bareMeetTitle = "Meet";

void removeAll(std::string& text, std::string_view symbol) {
    for (auto at = text.find(symbol); at != std::string::npos; at = text.find(symbol, at)) {
        text.erase(at, symbol.size());
    }
}

std::string cleanedTitle(std::string_view title) {
    std::string cleaned(title);
    for (const std::string_view symbol : speakerSymbols) removeAll(cleaned, symbol);
    return platform::trimWhitespaceAndNewlines(cleaned);
}

}  // namespace

bool isMeetingTitle(std::string_view title) {
    const std::string cleaned = cleanedTitle(title);
    if (platform::caseInsensitiveEquals(cleaned, bareMeetTitle)) return true;
    // The raw title keeps white space at its ends that a pattern may need; the cleaned
    // one joins a pattern that a speaker symbol interrupts.
    for (const std::string& pattern : meetingTitlePatterns) {
        if (platform::localizedCaseInsensitiveContains(title, pattern) ||
            platform::localizedCaseInsensitiveContains(cleaned, pattern)) {
            return true;
        }
    }
    return false;
}

// find, not contains: the libc++ of the oldest supported macOS toolchain has contains only
// for the set's own key type, which a string_view does not convert to.
bool shouldTrustMicWithoutTitle(std::string_view label) {
    return dedicatedMeetingApps.find(label) != dedicatedMeetingApps.end();
}

bool isBrowserMeetingApp(std::string_view label) {
    return browserMeetingApps.find(label) != browserMeetingApps.end();
}

}  // namespace observer

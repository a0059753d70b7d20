#include "observer/detection/title_rules.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

using TitleRulesTest = ObserverTest;

const std::string loud = "\U0001F50A";
const std::string muted = "\U0001F507";

TEST_F(TitleRulesTest, EmptyAndSymbolOnlyTitlesAreNoMeeting) {
    EXPECT_FALSE(isMeetingTitle(""));
    EXPECT_FALSE(isMeetingTitle(" " + loud + " \t" + muted + "\u00a0\n"));
}

TEST_F(TitleRulesTest, BareMeetInAnyCaseWithSpaceOrSymbolsAround) {
    meetingTitlePatterns.clear();  // the bare word does not need the patterns
    for (const std::string& title : std::vector<std::string>{"Meet", "mEEt", "  meet\n", loud + " Meet", "MEET " + muted,
                                                              "\u2003Meet\u3000", "\u200bMeet\u200b"}) {
        EXPECT_TRUE(isMeetingTitle(title)) << title;
    }
    EXPECT_FALSE(isMeetingTitle("Meeting"));
    EXPECT_FALSE(isMeetingTitle("Meet me"));
    EXPECT_FALSE(isMeetingTitle("\u200dMeet")) << "a joiner is not white space";
}

TEST_F(TitleRulesTest, PatternsMatchIgnoringCase) {
    EXPECT_TRUE(isMeetingTitle("Meet \u2013 abc-defg-hij"));
    EXPECT_TRUE(isMeetingTitle("MEET - abc-defg-hij - Google Chrome"));
    EXPECT_TRUE(isMeetingTitle("zoom meeting"));
    EXPECT_TRUE(isMeetingTitle("Weekly sync | Microsoft Teams"));
    EXPECT_TRUE(isMeetingTitle("Huddle with Ana"));
    EXPECT_TRUE(isMeetingTitle("Slack Call \u2013 #general"));
    EXPECT_FALSE(isMeetingTitle("Inbox - Gmail"));
    EXPECT_FALSE(isMeetingTitle("Meeting notes.docx"));
}

TEST_F(TitleRulesTest, RawTitleKeepsTrailingSpaceAndCleanedTitleJoinsAroundSymbols) {
    EXPECT_TRUE(isMeetingTitle("Team Meet - ")) << "the pattern's space exists only in the raw title";
    EXPECT_TRUE(isMeetingTitle("Google" + loud + " Meet")) << "found only once the symbol is gone";
    EXPECT_TRUE(isMeetingTitle("Zoom " + muted + "Meeting"));
    EXPECT_FALSE(isMeetingTitle("Google " + loud + " Meet")) << "removing a symbol keeps both spaces";
}

TEST_F(TitleRulesTest, CanonicallyEquivalentAndNonAsciiCaseMatch) {
    meetingTitlePatterns = {"Caf\u00e9 call", "\u00c5ngstr\u00f6m"};
    EXPECT_TRUE(isMeetingTitle("CAFE\u0301 CALL")) << "decomposed and upper-case";
    EXPECT_TRUE(isMeetingTitle("the \u00e5ngstr\u00d6m room"));
    EXPECT_FALSE(isMeetingTitle("cafe call")) << "accents are not ignored";
}

TEST_F(TitleRulesTest, LabelsAreComparedWhole) {
    EXPECT_TRUE(shouldTrustMicWithoutTitle("Zoom"));
    EXPECT_TRUE(shouldTrustMicWithoutTitle("Webex"));
    EXPECT_FALSE(shouldTrustMicWithoutTitle("zoom"));
    EXPECT_FALSE(shouldTrustMicWithoutTitle("Zoom "));
    EXPECT_FALSE(shouldTrustMicWithoutTitle("Safari"));
    EXPECT_TRUE(isBrowserMeetingApp("Safari"));
    EXPECT_TRUE(isBrowserMeetingApp("Brave"));
    EXPECT_FALSE(isBrowserMeetingApp("Brave Browser"));
    EXPECT_FALSE(isBrowserMeetingApp("Slack"));
}

}  // namespace
}  // namespace observer::testing

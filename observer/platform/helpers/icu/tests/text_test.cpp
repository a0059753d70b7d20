#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "observer/platform/text.h"

namespace observer::platform {
namespace {

struct Character {
    std::string text;
    const char* name;
};

TEST(TextTest, ContainsIgnoresCaseAndMatchesCanonicalEquivalents) {
    EXPECT_TRUE(localizedCaseInsensitiveContains("Join the ZOOM MEETING now", "Zoom Meeting"));
    EXPECT_TRUE(localizedCaseInsensitiveContains("\u00c9COLE", "\u00e9cole"));
    EXPECT_TRUE(localizedCaseInsensitiveContains("e\u0301cole", "\u00c9cole"));
    EXPECT_TRUE(localizedCaseInsensitiveContains("Meet \u2013 x", "meet \u2013 "));
    EXPECT_FALSE(localizedCaseInsensitiveContains("Meet - x", "Meet \u2013 "));
    EXPECT_FALSE(localizedCaseInsensitiveContains("ecole", "\u00e9cole"));
}

TEST(TextTest, EmptyNeedleOrIgnorableNeedleIsNeverContained) {
    EXPECT_FALSE(localizedCaseInsensitiveContains("anything", ""));
    EXPECT_FALSE(localizedCaseInsensitiveContains("", "x"));
    EXPECT_FALSE(localizedCaseInsensitiveContains("anything", "\u00ad"));
}

TEST(TextTest, RepeatedSearchesWithManyNeedlesStayCorrect) {
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(localizedCaseInsensitiveContains("a Slack call", "slack CALL"));
        EXPECT_FALSE(localizedCaseInsensitiveContains("a Slack", "slack CALL"));
        EXPECT_TRUE(localizedCaseInsensitiveContains("huddle", "huddle"));
    }
}

// Answers are remembered per needle and text, a bounded number of them: each is asked
// again after many others have pushed it out, and texts too long to remember too.
TEST(TextTest, RememberedAnswersStayTheAnswersOfEachText) {
    const std::string longTitle = std::string(300, 'x') + " Zoom Meeting";
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 300; ++i) {
            const std::string number = std::to_string(i);
            const std::string meeting = "Call " + number;
            const std::string other = "Cal" + number;
            EXPECT_TRUE(localizedCaseInsensitiveContains(meeting, "CALL")) << meeting;
            EXPECT_FALSE(localizedCaseInsensitiveContains(other, "CALL")) << other;
        }
        EXPECT_TRUE(localizedCaseInsensitiveContains(longTitle, "zoom meeting"));
        EXPECT_FALSE(localizedCaseInsensitiveContains(longTitle, "zoom meetings"));
    }
}

TEST(TextTest, CaseInsensitiveEqualsFoldsWithoutNormalising) {
    EXPECT_TRUE(caseInsensitiveEquals("MEET", "meet"));
    EXPECT_TRUE(caseInsensitiveEquals("stra\u00dfe", "STRASSE"));
    EXPECT_FALSE(caseInsensitiveEquals("Meet ", "meet"));
    EXPECT_TRUE(caseInsensitiveEquals("", ""));
}

// The Mac's white-space-and-newline set, each character at both ends of a title.
TEST(TextTest, TrimRemovesEachWhiteSpaceAndNewlineCharacterAtBothEnds) {
    const std::vector<Character> trimmed = {
        {"\t", "U+0009"}, {"\n", "U+000A"}, {"\v", "U+000B"}, {"\f", "U+000C"}, {"\r", "U+000D"},
        {" ", "U+0020"}, {"\u0085", "U+0085"}, {"\u00a0", "U+00A0"}, {"\u1680", "U+1680"},
        {"\u2000", "U+2000"}, {"\u2001", "U+2001"}, {"\u2002", "U+2002"}, {"\u2003", "U+2003"},
        {"\u2004", "U+2004"}, {"\u2005", "U+2005"}, {"\u2006", "U+2006"}, {"\u2007", "U+2007"},
        {"\u2008", "U+2008"}, {"\u2009", "U+2009"}, {"\u200a", "U+200A"}, {"\u200b", "U+200B"},
        {"\u2028", "U+2028"}, {"\u2029", "U+2029"}, {"\u202f", "U+202F"}, {"\u205f", "U+205F"},
        {"\u3000", "U+3000"},
    };
    std::string all;
    for (const auto& [space, name] : trimmed) {
        EXPECT_EQ(trimWhitespaceAndNewlines(space + "Meet" + space), "Meet") << name;
        EXPECT_EQ(trimWhitespaceAndNewlines(space + space + "a" + space + "b" + space), "a" + space + "b")
            << "only the ends: " << name;
        EXPECT_EQ(trimWhitespaceAndNewlines(space), "") << name;
        all += space;
    }
    EXPECT_EQ(trimWhitespaceAndNewlines(all + "Meet" + all), "Meet");
    EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
}

// Characters that other white-space definitions include or that look blank, kept as on the
// Mac: controls that break no line, the information separators, the other format
// characters, U+180E (a space separator in older Unicode) and the Hangul filler.
TEST(TextTest, TrimKeepsOtherControlsAndFormatCharacters) {
    const std::vector<Character> kept = {
        {"\b", "U+0008"}, {"\x1c", "U+001C"}, {"\x1f", "U+001F"}, {"\u180e", "U+180E"},
        {"\u200c", "U+200C"}, {"\u200d", "U+200D"}, {"\u2060", "U+2060"}, {"\ufeff", "U+FEFF"},
        {"\u3164", "U+3164"},
    };
    for (const auto& [character, name] : kept) {
        EXPECT_EQ(trimWhitespaceAndNewlines(character + " Meet " + character), character + " Meet " + character)
            << name;
    }
}

TEST(TextTest, DecodeReplacesEachIllFormedSequence) {
    EXPECT_EQ(decodeUtf8("ok \u00e9"), "ok \u00e9");
    EXPECT_EQ(decodeUtf8("a\xC3"), "a\xEF\xBF\xBD");
    EXPECT_EQ(decodeUtf8("\xF0\x9F\x94"), "\xEF\xBF\xBD");
    EXPECT_EQ(decodeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(decodeUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace observer::platform

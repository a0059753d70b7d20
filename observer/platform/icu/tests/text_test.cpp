#include <gtest/gtest.h>

#include "observer/platform/text.h"

namespace observer::platform {
namespace {

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

TEST(TextTest, CaseInsensitiveEqualsFoldsWithoutNormalising) {
    EXPECT_TRUE(caseInsensitiveEquals("MEET", "meet"));
    EXPECT_TRUE(caseInsensitiveEquals("stra\u00dfe", "STRASSE"));
    EXPECT_FALSE(caseInsensitiveEquals("Meet ", "meet"));
    EXPECT_TRUE(caseInsensitiveEquals("", ""));
}

TEST(TextTest, TrimRemovesSeparatorsAndLineBreaksAtBothEnds) {
    EXPECT_EQ(trimWhitespaceAndNewlines(" \t\n\r\v\f\u0085\u00a0\u2028\u2029\u3000 a b \u2003"), "a b");
    EXPECT_EQ(trimWhitespaceAndNewlines("\u200bx\u200b"), "\u200bx\u200b") << "format characters stay";
    EXPECT_EQ(trimWhitespaceAndNewlines("   "), "");
    EXPECT_EQ(trimWhitespaceAndNewlines(""), "");
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

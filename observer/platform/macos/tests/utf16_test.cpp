// The tolerant UTF-8/UTF-16 conversions that every string between the observer and
// CoreFoundation passes through.
#include "observer/platform/macos/utf16.h"

#include <gtest/gtest.h>

#include <vector>

namespace observer::platform::macos {
namespace {

using Units = std::vector<std::uint16_t>;

const std::string replacement = "\xEF\xBF\xBD";

TEST(Utf16FromUtf8, ConvertsWellFormedTextOfEveryLength) {
    EXPECT_EQ(utf16FromUtf8(""), Units{});
    EXPECT_EQ(utf16FromUtf8("Zoom"), (Units{'Z', 'o', 'o', 'm'}));
    EXPECT_EQ(utf16FromUtf8("\xC3\xA9"), Units{0x00E9});              // é
    EXPECT_EQ(utf16FromUtf8("\xE2\x80\x94"), Units{0x2014});          // em dash
    EXPECT_EQ(utf16FromUtf8("\xF0\x9F\x8E\xA4"), (Units{0xD83C, 0xDFA4}));  // U+1F3A4 as a pair
    EXPECT_EQ(utf16FromUtf8("\xF4\x8F\xBF\xBF"), (Units{0xDBFF, 0xDFFF}));  // U+10FFFF
}

TEST(Utf16FromUtf8, ReplacesEachMaximalSubpartOfAnIllFormedSequence) {
    EXPECT_EQ(utf16FromUtf8("a\xFF" "b"), (Units{'a', 0xFFFD, 'b'}));
    // A lead byte with one good continuation, cut short by an ASCII byte: one U+FFFD for
    // both bytes, and the ASCII byte survives.
    EXPECT_EQ(utf16FromUtf8("\xE2\x80" "x"), (Units{0xFFFD, 'x'}));
    // Truncated at the end of the input.
    EXPECT_EQ(utf16FromUtf8("ab\xF0\x9F\x8E"), (Units{'a', 'b', 0xFFFD}));
    // Stray continuation bytes are one U+FFFD each.
    EXPECT_EQ(utf16FromUtf8("\x80\xBF"), (Units{0xFFFD, 0xFFFD}));
}

TEST(Utf16FromUtf8, RejectsOverlongFormsSurrogatesAndValuesBeyondUnicode) {
    // Overlong "/" (C0 AF): both bytes are invalid on their own.
    EXPECT_EQ(utf16FromUtf8("\xC0\xAF"), (Units{0xFFFD, 0xFFFD}));
    // Overlong three-byte form (E0 80 AF): E0 cannot be followed by 80.
    EXPECT_EQ(utf16FromUtf8("\xE0\x80\xAF"), (Units{0xFFFD, 0xFFFD, 0xFFFD}));
    // An encoded surrogate (ED A0 80) is ill-formed in UTF-8.
    EXPECT_EQ(utf16FromUtf8("\xED\xA0\x80"), (Units{0xFFFD, 0xFFFD, 0xFFFD}));
    // Above U+10FFFF (F4 90 80 80) and the bytes F5 to FF.
    EXPECT_EQ(utf16FromUtf8("\xF4\x90\x80\x80"), (Units{0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(utf16FromUtf8("\xF5"), Units{0xFFFD});
}

TEST(Utf8FromUtf16, ConvertsScalarsAndPairs) {
    EXPECT_EQ(utf8FromUtf16(Units{}), "");
    EXPECT_EQ(utf8FromUtf16(Units{'M', 'e', 'e', 't'}), "Meet");
    EXPECT_EQ(utf8FromUtf16(Units{0x00E9, 0x2014}), "\xC3\xA9\xE2\x80\x94");
    EXPECT_EQ(utf8FromUtf16(Units{0xD83C, 0xDFA4}), "\xF0\x9F\x8E\xA4");
    EXPECT_EQ(utf8FromUtf16(Units{0x0000, 'a'}), std::string("\0a", 2));  // NUL is text, not an end
}

TEST(Utf8FromUtf16, WritesReplacementForUnpairedSurrogates) {
    EXPECT_EQ(utf8FromUtf16(Units{0xD83C}), replacement);              // lone high at the end
    EXPECT_EQ(utf8FromUtf16(Units{0xD83C, 'x'}), replacement + "x");   // high before a non-low
    EXPECT_EQ(utf8FromUtf16(Units{0xDFA4, 'x'}), replacement + "x");   // lone low
    EXPECT_EQ(utf8FromUtf16(Units{0xDFA4, 0xD83C}), replacement + replacement);  // reversed pair
    // A high surrogate followed by a real pair: only the first one is unpaired.
    EXPECT_EQ(utf8FromUtf16(Units{0xD83C, 0xD83C, 0xDFA4}), replacement + "\xF0\x9F\x8E\xA4");
}

TEST(WellFormedUtf8, KeepsValidTextAndReplacesTheRest) {
    EXPECT_EQ(wellFormedUtf8("Zoom \xE2\x80\x94 Meeting"), "Zoom \xE2\x80\x94 Meeting");
    EXPECT_EQ(wellFormedUtf8(""), "");
    // A command name cut by the kernel after 16 bytes inside a three-byte character.
    EXPECT_EQ(wellFormedUtf8("ConferenceHost\xE2\x80"), "ConferenceHost" + replacement);
    EXPECT_EQ(wellFormedUtf8("\xC0\xAF"), replacement + replacement);
    EXPECT_EQ(wellFormedUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf16RoundTrip, EveryScalarValueSurvivesBothDirections) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        Units units;
        if (c < 0x10000) {
            units = {static_cast<std::uint16_t>(c)};
        } else {
            units = {static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)),
                     static_cast<std::uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
        }
        const std::string utf8 = utf8FromUtf16(units);
        ASSERT_EQ(utf16FromUtf8(utf8), units) << "U+" << std::hex << static_cast<unsigned>(c);
        ASSERT_EQ(wellFormedUtf8(utf8), utf8) << "U+" << std::hex << static_cast<unsigned>(c);
    }
}

}  // namespace
}  // namespace observer::platform::macos

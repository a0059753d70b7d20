// The hand-written UTF-8 decoder against ICU's, the reference for U+FFFD substitution by
// maximal subparts, over every one- and two-byte input, every three-byte input built from
// the bytes where UTF-8's rules change, and a long run of random bytes.
#include <unicode/ustring.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "observer/platform/macos/utf16.h"

namespace observer::platform::macos {
namespace {

std::vector<std::uint16_t> icuUtf16(const std::string& bytes) {
    std::vector<std::uint16_t> units(bytes.size() + 1);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(units.data()), static_cast<int32_t>(units.size()), &length,
                         bytes.data(), static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    units.resize(static_cast<std::size_t>(length));
    return units;
}

std::string hex(const std::string& bytes) {
    std::string text;
    for (const unsigned char byte : bytes) text += "0123456789ABCDEF"[byte >> 4], text += "0123456789ABCDEF"[byte & 15], text += ' ';
    return text;
}

TEST(Utf8DecoderAgainstIcu, AgreesOnEveryInputOfOneAndTwoBytes) {
    for (int first = 0; first < 256; ++first) {
        for (int second = -1; second < 256; ++second) {
            std::string bytes(1, static_cast<char>(first));
            if (second >= 0) bytes.push_back(static_cast<char>(second));
            ASSERT_EQ(utf16FromUtf8(bytes), icuUtf16(bytes)) << hex(bytes);
        }
    }
}

TEST(Utf8DecoderAgainstIcu, AgreesOnThreeAndFourByteInputsAtEveryBoundary) {
    const std::vector<int> edges = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                    0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    for (const int a : edges)
        for (const int b : edges)
            for (const int c : edges)
                for (const int d : edges) {
                    const std::string bytes{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                                            static_cast<char>(d)};
                    ASSERT_EQ(utf16FromUtf8(bytes), icuUtf16(bytes)) << hex(bytes);
                    ASSERT_EQ(utf16FromUtf8(bytes.substr(0, 3)), icuUtf16(bytes.substr(0, 3))) << hex(bytes);
                }
}

TEST(Utf8DecoderAgainstIcu, AgreesOnRandomBytes) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(64, '\0');
        for (char& b : bytes) b = static_cast<char>(byte(random));
        ASSERT_EQ(utf16FromUtf8(bytes), icuUtf16(bytes)) << hex(bytes);
        // wellFormedUtf8 is the same decoding written straight back as UTF-8.
        ASSERT_EQ(wellFormedUtf8(bytes), utf8FromUtf16(icuUtf16(bytes))) << hex(bytes);
    }
}

}  // namespace
}  // namespace observer::platform::macos

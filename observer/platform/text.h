// Unicode text operations that the rules need and that depend on the platform's
// Unicode tables. Every argument and result is UTF-8.
//
// Contract:
// - `localizedCaseInsensitiveContains`: `needle` occurs in `haystack` under the user's
//   current locale, ignoring case (non-ASCII letters included), canonically equivalent
//   sequences comparing equal. An empty needle is never contained.
// - `caseInsensitiveEquals`: equality ignoring case, without locale.
// - `trimWhitespaceAndNewlines`: removes from both ends the characters of the Mac's
//   white-space-and-newline set: U+0009 to U+000D, U+0020, U+0085, U+00A0, U+1680,
//   U+2000 to U+200B, U+2028, U+2029, U+202F, U+205F and U+3000. That is general category
//   Z plus the line-breaking controls, the tab and U+200B ZERO WIDTH SPACE; other format
//   characters (U+200C, U+200D, U+2060, U+FEFF) and U+180E stay.
// - `decodeUtf8`: the bytes as UTF-8 text, each ill-formed sequence replaced by U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace observer::platform {

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle);
bool caseInsensitiveEquals(std::string_view a, std::string_view b);
std::string trimWhitespaceAndNewlines(std::string_view text);
std::string decodeUtf8(std::string_view bytes);

}  // namespace observer::platform

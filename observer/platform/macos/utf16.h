// Conversions between UTF-8 and UTF-16 that never fail. The platform hands text over
// as UTF-16 units, which may hold unpaired surrogates, and takes it back the same way;
// the observer works in UTF-8, which may arrive ill-formed from the kernel. Anything
// that cannot be converted becomes U+FFFD instead of making the whole string fail.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace observer::platform::macos {

// Each ill-formed sequence becomes one U+FFFD per maximal subpart, the substitution
// that the Unicode standard recommends and that ICU and the web's decoders use.
std::vector<std::uint16_t> utf16FromUtf8(std::string_view bytes);

// An unpaired surrogate becomes U+FFFD; everything else is converted exactly.
std::string utf8FromUtf16(std::span<const std::uint16_t> units);

// The bytes as UTF-8 text, each ill-formed sequence replaced as above.
std::string wellFormedUtf8(std::string_view bytes);

}  // namespace observer::platform::macos

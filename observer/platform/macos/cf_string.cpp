// CFString <-> UTF-8 through the string's UTF-16 units: CFStringGetCString fails on an
// unpaired surrogate and CFStringCreateWithBytes on ill-formed UTF-8, so both directions
// go through the tolerant converters of utf16.h.
#include "observer/platform/macos/cf_string.h"

#include <cstdint>
#include <vector>

#include "observer/platform/macos/utf16.h"

namespace observer::platform::macos {

static_assert(std::is_same_v<UniChar, std::uint16_t>, "UTF-16 units are passed to CF without conversion");

CFOwned<CFStringRef> makeCFString(std::string_view utf8) {
    const std::vector<std::uint16_t> units = utf16FromUtf8(utf8);
    // An empty vector may have no storage at all; CF is given a real pointer either way.
    static const UniChar none = 0;
    const UniChar* characters = units.empty() ? &none : units.data();
    return CFOwned<CFStringRef>(
        CFStringCreateWithCharacters(kCFAllocatorDefault, characters, static_cast<CFIndex>(units.size())));
}

std::string utf8FromCFString(CFStringRef string) {
    const CFIndex length = CFStringGetLength(string);
    if (length <= 0) return {};
    std::vector<std::uint16_t> units(static_cast<std::size_t>(length));
    CFStringGetCharacters(string, CFRangeMake(0, length), units.data());
    return utf8FromUtf16(units);
}

}  // namespace observer::platform::macos

// Unicode text through CFString, with the semantics of the NSString methods that the
// rules are written against: localizedCaseInsensitiveContainsString:, caseInsensitiveCompare:
// and stringByTrimmingCharactersInSet: with the white-space-and-newline set.
#include "observer/platform/text.h"

#include <CoreFoundation/CoreFoundation.h>

#include "observer/platform/macos/cf_string.h"
#include "observer/platform/macos/utf16.h"

namespace observer::platform {

using macos::CFOwned;
using macos::makeCFString;

namespace {

// The user's locale as it is when the first search runs, kept for the whole run.
// CFLocaleCopyCurrent may hand out an object that CoreFoundation cached earlier, which a
// change of the user's language or region need not replace in a running helper; copying it
// once makes that plain instead of looking fresh. A change takes effect when quorvel
// restarts, as with the ICU backend, whose collator is opened once. The locale matters to
// the search only for the few letters whose case depends on the language, such as the
// Turkish dotted and dotless i.
CFLocaleRef userLocale() {
    static const CFOwned<CFLocaleRef> locale(CFLocaleCopyCurrent());
    return locale.get();
}

}  // namespace

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return false;
    const CFOwned<CFStringRef> text = makeCFString(haystack);
    const CFOwned<CFStringRef> fragment = makeCFString(needle);
    if (!text || !fragment) return false;
    const Boolean found = CFStringFindWithOptionsAndLocale(
        text.get(), fragment.get(), CFRangeMake(0, CFStringGetLength(text.get())),
        kCFCompareCaseInsensitive | kCFCompareNonliteral, userLocale(), nullptr);
    return found != 0;
}

bool caseInsensitiveEquals(std::string_view a, std::string_view b) {
    const CFOwned<CFStringRef> left = makeCFString(a);
    const CFOwned<CFStringRef> right = makeCFString(b);
    if (!left || !right) return false;
    const CFComparisonResult order = CFStringCompareWithOptionsAndLocale(
        left.get(), right.get(), CFRangeMake(0, CFStringGetLength(left.get())),
        kCFCompareCaseInsensitive | kCFCompareNonliteral, nullptr);
    return order == kCFCompareEqualTo;
}

std::string trimWhitespaceAndNewlines(std::string_view text) {
    const CFOwned<CFStringRef> original = makeCFString(text);
    if (!original) return macos::wellFormedUtf8(text);
    const CFOwned<CFMutableStringRef> trimmed(CFStringCreateMutableCopy(kCFAllocatorDefault, 0, original.get()));
    if (!trimmed) return macos::wellFormedUtf8(text);
    CFStringTrimWhitespace(trimmed.get());
    return macos::utf8FromCFString(trimmed.get());
}

std::string decodeUtf8(std::string_view bytes) {
    // CFStringCreateWithBytes refuses ill-formed UTF-8 outright, so the decoding is ours.
    return macos::wellFormedUtf8(bytes);
}

}  // namespace observer::platform

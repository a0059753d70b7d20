// Ownership faults with CoreFoundation objects that the leak check must find. The comment
// on each faulty line names the warning that the analyzer has to give there (clang's
// -verify), so a check that stopped finding them fails.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>

#include "observer/platform/macos/cf_string.h"

namespace {

using observer::platform::macos::CFOwned;

bool localeNeverReleased(CFStringRef text, CFStringRef needle) {
    CFLocaleRef locale = CFLocaleCopyCurrent();  // expected-warning {{Potential leak of an object stored into 'locale'}}
    return CFStringFindWithOptionsAndLocale(text, needle, CFRangeMake(0, CFStringGetLength(text)),
                                            kCFCompareCaseInsensitive, locale, nullptr) != 0;
}

CFIndex windowListKeptOnAnEarlyReturn(bool early) {
    CFArrayRef windows = CGWindowListCopyWindowInfo(  // expected-warning {{Potential leak of an object stored into 'windows'}}
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    if (windows == nullptr) return 0;
    if (early) return 1;
    const CFIndex count = CFArrayGetCount(windows);
    CFRelease(windows);
    return count;
}

void borrowedValueReleased(CFDictionaryRef window) {
    const void* name = CFDictionaryGetValue(window, kCGWindowName);
    if (name != nullptr) CFRelease(name);  // expected-warning {{Incorrect decrement of the reference count of an object that is not owned at this point by the caller}}
}

void releasedTwice(CFStringRef text) {
    CFMutableStringRef trimmed = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, text);
    CFStringTrimWhitespace(trimmed);
    CFRelease(trimmed);
    CFRelease(trimmed);  // expected-warning {{Reference-counted object is used after it is released}}
}

CFIndex ownedCopyIsClean() {
    const CFOwned<CFArrayRef> windows(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID));
    return windows ? CFArrayGetCount(windows.get()) : 0;
}

}  // namespace

CFIndex useAll(CFStringRef text, CFDictionaryRef window) {
    borrowedValueReleased(window);
    releasedTwice(text);
    return localeNeverReleased(text, text) + windowListKeptOnAnEarlyReturn(true) + ownedCopyIsClean();
}

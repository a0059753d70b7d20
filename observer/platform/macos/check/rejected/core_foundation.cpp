// Misuses of CoreFoundation that the declaration stubs must reject, as a Mac's SDK would.
// The comment above each misuse names the error that clang has to report for it (clang's
// -verify), so a stub that has become too lenient fails the check.
#include <CoreFoundation/CoreFoundation.h>

#include "observer/platform/macos/cf_string.h"

namespace {

using observer::platform::macos::CFOwned;

void misspeltCall(CFStringRef text, UniChar* buffer) {
    // expected-error@+1 {{use of undeclared identifier 'CFStringGetCharacter'}}
    CFStringGetCharacter(text, CFRangeMake(0, 1), buffer);
}

void numberTypeAsPlainInteger(CFNumberRef number) {
    SInt32 value = 0;
    // expected-error@+1 {{no matching function for call to 'CFNumberGetValue'}}
    CFNumberGetValue(number, 3, &value);
}

void trimmingAnImmutableString(CFStringRef text) {
    // expected-error@+1 {{no matching function for call to 'CFStringTrimWhitespace'}}
    CFStringTrimWhitespace(text);
}

void copiedStringHeldAsMutable(CFStringRef text) {
    // expected-error@+1 {{no matching constructor for initialization of 'CFOwned<CFMutableStringRef>'}}
    CFOwned<CFMutableStringRef> copy(CFStringCreateWithCharacters(kCFAllocatorDefault, nullptr, 0));
    (void)text;
}

void comparisonFlagsInPlaceOfLocale(CFStringRef a, CFStringRef b) {
    // expected-error@+1 {{no matching function for call to 'CFStringCompareWithOptionsAndLocale'}}
    CFStringCompareWithOptionsAndLocale(a, b, CFRangeMake(0, 1), kCFCompareCaseInsensitive, kCFCompareNonliteral);
}

CFStringRef constantFromAVariable(const char* name) {
    (void)name;
    // expected-error@+1 {{expected ')'}} expected-note@+1 {{to match this '('}}
    return CFSTR(name);
}

void runLoopTimerWithTheWrongBlock() {
    // expected-error@+1 {{no matching function for call to 'CFRunLoopTimerCreateWithHandler'}}
    CFRunLoopTimerCreateWithHandler(kCFAllocatorDefault, 0, 1, 0, 0, ^{});
}

void timerAddedToTheWrongLoopArgument(CFRunLoopTimerRef timer) {
    // expected-error@+1 {{no matching function for call to 'CFRunLoopAddTimer'}}
    CFRunLoopAddTimer(timer, CFRunLoopGetMain(), kCFRunLoopDefaultMode);
}

}  // namespace

// Ownership of CoreFoundation objects and the passage of text between CFString and
// UTF-8, shared by the services that hand text to or take text from the platform.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace observer::platform::macos {

// Releases what a Create or Copy call handed over. unique_ptr never calls its deleter on
// null, which matters because CFRelease(NULL) crashes.
struct CFReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};

// Holds one reference of a CF object type such as CFStringRef, keeping the exact type so
// that a mutable and an immutable object are not confused.
template <typename Ref>
using CFOwned = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;

// A CFString of the text; ill-formed UTF-8 is taken with U+FFFD for each bad sequence, so
// the result is null only when the allocation fails.
CFOwned<CFStringRef> makeCFString(std::string_view utf8);

// The string as UTF-8, unpaired surrogates written as U+FFFD.
std::string utf8FromCFString(CFStringRef string);

}  // namespace observer::platform::macos

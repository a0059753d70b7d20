// Misuses of sysctl and of the window list that the declaration stubs must reject, as a
// Mac's SDK would.
#include <CoreGraphics/CoreGraphics.h>
#include <sys/sysctl.h>

#include "observer/platform/macos/cf_string.h"

namespace {

void constantName(int pid) {
    const int name[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    kinfo_proc info{};
    std::size_t size = sizeof info;
    // expected-error@+1 {{no matching function for call to 'sysctl'}}
    sysctl(name, 4, &info, &size, nullptr, 0);
}

void lengthByValue(int pid) {
    int name[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    kinfo_proc info{};
    // expected-error@+1 {{no matching function for call to 'sysctl'}}
    sysctl(name, 4, &info, sizeof info, nullptr, 0);
}

void windowListAsDictionary() {
    // expected-error@+1 {{cannot initialize a variable of type 'CFDictionaryRef'}}
    CFDictionaryRef windows = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
    (void)windows;
}

void windowListHeldAsString() {
    // expected-error@+1 {{no matching constructor for initialization of 'observer::platform::macos::CFOwned<CFStringRef>'}}
    observer::platform::macos::CFOwned<CFStringRef> windows(
        CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID));
}

void ownerKeyMisspelt(CFDictionaryRef window) {
    // expected-error@+1 {{use of undeclared identifier 'kCGWindowOwnerPid'}}
    (void)CFDictionaryGetValue(window, kCGWindowOwnerPid);
}

}  // namespace

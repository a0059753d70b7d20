// Declarations of the window-list part of CoreGraphics that this project calls, written
// from Apple's public documentation for type checks without an SDK. Declarations only.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t CGWindowID;
typedef uint32_t CGWindowListOption;
enum : CGWindowListOption {
    kCGWindowListOptionAll = 0,
    kCGWindowListOptionOnScreenOnly = 1u << 0,
    kCGWindowListOptionOnScreenAboveWindow = 1u << 1,
    kCGWindowListOptionOnScreenBelowWindow = 1u << 2,
    kCGWindowListOptionIncludingWindow = 1u << 3,
    kCGWindowListExcludeDesktopElements = 1u << 4
};
#define kCGNullWindowID ((CGWindowID)0)

extern const CFStringRef kCGWindowOwnerPID;
extern const CFStringRef kCGWindowName;
extern const CFStringRef kCGWindowOwnerName;
extern const CFStringRef kCGWindowNumber;
extern const CFStringRef kCGWindowLayer;

CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow) CF_RETURNS_RETAINED;

bool CGPreflightScreenCaptureAccess(void);
bool CGRequestScreenCaptureAccess(void);

#ifdef __cplusplus
}
#endif

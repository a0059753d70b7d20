// The version macros of macOS's <AvailabilityMacros.h>, for type checks without an SDK:
// the oldest system supported, 12.0, taken from the compiler's target.
#pragma once

#define MAC_OS_X_VERSION_10_15 101500
#define MAC_OS_VERSION_11_0 110000
#define MAC_OS_VERSION_12_0 120000
#define MAC_OS_X_VERSION_MIN_REQUIRED __ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__
#define MAC_OS_X_VERSION_MAX_ALLOWED __ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__

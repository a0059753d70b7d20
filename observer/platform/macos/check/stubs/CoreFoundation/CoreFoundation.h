// Declarations of the part of CoreFoundation that this project calls, written from Apple's
// public documentation so that the macOS sources can be type-checked where no SDK exists.
// Declarations only: nothing here is meant to link or run. Object types are distinct
// opaque pointers and enumerations have their fixed underlying types, as in the real
// headers, so that a wrong argument type or an immutable object passed for a mutable
// one is an error here as it would be on a Mac.
#pragma once

#ifndef __cplusplus
#error "these declarations are for C++ and Objective-C++ only"
#endif

#include <stdint.h>

#ifdef __OBJC__
#define QV_CF_BRIDGED(type) __attribute__((objc_bridge(type)))
#define QV_CF_BRIDGED_MUTABLE(type) __attribute__((objc_bridge_mutable(type)))
#else
#define QV_CF_BRIDGED(type)
#define QV_CF_BRIDGED_MUTABLE(type)
#endif
#define CF_RETURNS_RETAINED __attribute__((cf_returns_retained))

extern "C" {

// MacTypes
typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef uint16_t UInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef SInt32 OSStatus;
typedef UInt16 UniChar;

// Base
typedef long CFIndex;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFTypeID;
typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;
typedef const void* CFTypeRef;

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;
CFRange CFRangeMake(CFIndex loc, CFIndex len);

enum CFComparisonResult : CFIndex {
    kCFCompareLessThan = -1L,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1
};

typedef const struct QV_CF_BRIDGED(NSObject) __CFAllocator* CFAllocatorRef;
extern const CFAllocatorRef kCFAllocatorDefault;

void CFRelease(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);

// Strings
typedef const struct QV_CF_BRIDGED(NSString) __CFString* CFStringRef;
typedef struct QV_CF_BRIDGED_MUTABLE(NSMutableString) __CFString* CFMutableStringRef;
typedef const struct QV_CF_BRIDGED(NSLocale) __CFLocale* CFLocaleRef;
typedef CFStringRef CFLocaleIdentifier;

// A compile-time constant string; the "" on both sides admits a literal argument only.
#define CFSTR(cStr) ((CFStringRef)__builtin___CFStringMakeConstantString("" cStr ""))

typedef CFOptionFlags CFStringCompareFlags;
enum : CFOptionFlags {
    kCFCompareCaseInsensitive = 1,
    kCFCompareBackwards = 4,
    kCFCompareAnchored = 8,
    kCFCompareNonliteral = 16,
    kCFCompareLocalized = 32,
    kCFCompareNumerically = 64
};

CFTypeID CFStringGetTypeID(void);
CFIndex CFStringGetLength(CFStringRef theString);
void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars)
    CF_RETURNS_RETAINED;
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength, CFStringRef theString)
    CF_RETURNS_RETAINED;
void CFStringTrimWhitespace(CFMutableStringRef theString);
Boolean CFStringFindWithOptionsAndLocale(CFStringRef theString, CFStringRef stringToFind, CFRange rangeToSearch,
                                         CFStringCompareFlags searchOptions, CFLocaleRef locale, CFRange* result);
CFComparisonResult CFStringCompareWithOptionsAndLocale(CFStringRef theString1, CFStringRef theString2,
                                                       CFRange rangeToCompare, CFStringCompareFlags compareOptions,
                                                       CFLocaleRef locale);

CFLocaleRef CFLocaleCopyCurrent(void) CF_RETURNS_RETAINED;
CFLocaleRef CFLocaleCreate(CFAllocatorRef allocator, CFLocaleIdentifier localeIdentifier) CF_RETURNS_RETAINED;

// Collections and numbers
typedef const struct QV_CF_BRIDGED(NSArray) __CFArray* CFArrayRef;
typedef const struct QV_CF_BRIDGED(NSDictionary) __CFDictionary* CFDictionaryRef;
typedef const struct QV_CF_BRIDGED(NSNumber) __CFNumber* CFNumberRef;

CFTypeID CFArrayGetTypeID(void);
CFIndex CFArrayGetCount(CFArrayRef theArray);
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);

CFTypeID CFDictionaryGetTypeID(void);
const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);

enum CFNumberType : CFIndex {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10
};
CFTypeID CFNumberGetTypeID(void);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);

// Time and time zones
CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);
typedef const struct QV_CF_BRIDGED(NSTimeZone) __CFTimeZone* CFTimeZoneRef;
void CFTimeZoneResetSystem(void);
CFTimeZoneRef CFTimeZoneCopySystem(void) CF_RETURNS_RETAINED;
CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at);

// Run loop
typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct QV_CF_BRIDGED_MUTABLE(NSTimer) __CFRunLoopTimer* CFRunLoopTimerRef;
typedef CFStringRef CFRunLoopMode;
extern const CFRunLoopMode kCFRunLoopDefaultMode;
extern const CFStringRef kCFRunLoopCommonModes;

CFRunLoopRef CFRunLoopGetMain(void);
CFRunLoopRef CFRunLoopGetCurrent(void);
void CFRunLoopRun(void);
void CFRunLoopStop(CFRunLoopRef rl);
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFRunLoopMode mode);
CFRunLoopTimerRef CFRunLoopTimerCreateWithHandler(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                                  CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                                  void (^block)(CFRunLoopTimerRef timer)) CF_RETURNS_RETAINED;
typedef struct __CFRunLoopObserver* CFRunLoopObserverRef;
enum CFRunLoopActivity : CFOptionFlags {
    kCFRunLoopEntry = 1UL << 0,
    kCFRunLoopBeforeTimers = 1UL << 1,
    kCFRunLoopBeforeSources = 1UL << 2,
    kCFRunLoopBeforeWaiting = 1UL << 5,
    kCFRunLoopAfterWaiting = 1UL << 6,
    kCFRunLoopExit = 1UL << 7,
    kCFRunLoopAllActivities = 0x0FFFFFFFU
};
typedef struct {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
} CFRunLoopObserverContext;
typedef void (*CFRunLoopObserverCallBack)(CFRunLoopObserverRef observer, CFRunLoopActivity activity, void* info);
CFRunLoopObserverRef CFRunLoopObserverCreate(CFAllocatorRef allocator, CFOptionFlags activities, Boolean repeats,
                                             CFIndex order, CFRunLoopObserverCallBack callout,
                                             CFRunLoopObserverContext* context) CF_RETURNS_RETAINED;
void CFRunLoopAddObserver(CFRunLoopRef rl, CFRunLoopObserverRef observer, CFRunLoopMode mode);

// File descriptors watched by the run loop
typedef struct __CFRunLoopSource* CFRunLoopSourceRef;
typedef struct __CFFileDescriptor* CFFileDescriptorRef;
typedef int CFFileDescriptorNativeDescriptor;
typedef void (*CFFileDescriptorCallBack)(CFFileDescriptorRef f, CFOptionFlags callBackTypes, void* info);
typedef struct {
    CFIndex version;
    void* info;
    void* (*retain)(void* info);
    void (*release)(void* info);
    CFStringRef (*copyDescription)(void* info);
} CFFileDescriptorContext;
enum : CFOptionFlags {
    kCFFileDescriptorReadCallBack = 1UL << 0,
    kCFFileDescriptorWriteCallBack = 1UL << 1,
};
CFFileDescriptorRef CFFileDescriptorCreate(CFAllocatorRef allocator, CFFileDescriptorNativeDescriptor fd,
                                           Boolean closeOnInvalidate, CFFileDescriptorCallBack callout,
                                           const CFFileDescriptorContext* context) CF_RETURNS_RETAINED;
void CFFileDescriptorEnableCallBacks(CFFileDescriptorRef f, CFOptionFlags callBackTypes);
CFRunLoopSourceRef CFFileDescriptorCreateRunLoopSource(CFAllocatorRef allocator, CFFileDescriptorRef f,
                                                       CFIndex order) CF_RETURNS_RETAINED;
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);

}  // extern "C"

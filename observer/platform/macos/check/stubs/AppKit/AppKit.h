// Declarations of the part of AppKit that this project uses, written from Apple's public
// documentation for type checks of Objective-C++ without an SDK. Declarations only.
#pragma once

#import <Foundation/Foundation.h>

#pragma clang assume_nonnull begin

@interface NSRunningApplication : NSObject
@property(readonly, nullable, copy) NSString* localizedName;
@property(readonly, nullable, copy) NSString* bundleIdentifier;
@property(readonly) pid_t processIdentifier;
@property(readonly, getter=isTerminated) BOOL terminated;
@end

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
@property(readonly, copy) NSArray<NSRunningApplication*>* runningApplications;
@property(readonly, nullable, strong) NSRunningApplication* frontmostApplication;
@end

#pragma clang assume_nonnull end

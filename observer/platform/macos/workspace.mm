// The workspace's running applications through NSWorkspace (Objective-C++, ARC). Each
// query drains its own autorelease pool: the main run loop is run through CoreFoundation,
// which drains none on its own.
#include "observer/platform/workspace.h"

#import <AppKit/AppKit.h>

#include "observer/platform/macos/cf_string.h"

namespace observer::platform {
namespace {

std::optional<std::string> utf8(NSString* text) {
    if (text == nil) return std::nullopt;
    return macos::utf8FromCFString((__bridge CFStringRef)text);
}

RunningApplication describe(NSRunningApplication* application) {
    RunningApplication described;
    described.localizedName = utf8(application.localizedName);
    described.bundleIdentifier = utf8(application.bundleIdentifier);
    described.processIdentifier = static_cast<std::int32_t>(application.processIdentifier);
    return described;
}

}  // namespace

std::vector<RunningApplication> runningApplications() {
    std::vector<RunningApplication> applications;
    @autoreleasepool {
        NSArray<NSRunningApplication*>* running = NSWorkspace.sharedWorkspace.runningApplications;
        applications.reserve(running.count);
        for (NSRunningApplication* application in running) applications.push_back(describe(application));
    }
    return applications;
}

std::optional<RunningApplication> frontmostApplication() {
    std::optional<RunningApplication> frontmost;
    @autoreleasepool {
        NSRunningApplication* application = NSWorkspace.sharedWorkspace.frontmostApplication;
        if (application != nil) frontmost = describe(application);
    }
    return frontmost;
}

}  // namespace observer::platform

// Misuses of NSWorkspace under ARC that the declaration stubs must reject, as a Mac's SDK
// would.
#import <AppKit/AppKit.h>

namespace {

void misspeltProperty(NSRunningApplication* application) {
    // expected-error@+1 {{property 'localisedName' not found on object of type 'NSRunningApplication *'}}
    (void)application.localisedName;
}

CFStringRef castWithoutBridge(NSString* name) {
    // expected-error@+1 {{cast of Objective-C pointer type 'NSString *' to C pointer type 'CFStringRef'}}
    return (CFStringRef)name;  // expected-note {{use __bridge}} expected-note {{use __bridge_retained}}
}

void frontmostIsNotAList() {
    // expected-error@+1 {{cannot initialize a variable of type 'NSArray<NSRunningApplication *> *__strong' with an rvalue of type 'NSRunningApplication * _Nullable'}}
    NSArray<NSRunningApplication*>* applications = NSWorkspace.sharedWorkspace.frontmostApplication;
    (void)applications;
}

void sharedWorkspaceIsAClassProperty(NSWorkspace* workspace) {
    // expected-error@+1 {{property 'sharedWorkspace' is a class property}}
    (void)workspace.sharedWorkspace;
}

}  // namespace

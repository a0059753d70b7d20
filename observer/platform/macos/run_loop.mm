// The repeating timer on the main CFRunLoop in its default mode, and that run loop run on
// the main thread. Running it is also what keeps NSWorkspace's answers current. A late
// CFRunLoopTimer fires once and keeps its original schedule, as the contract requires.
// Objective-C++ for the autorelease pool around each firing (ARC).
#include "observer/platform/run_loop.h"

#include <CoreFoundation/CoreFoundation.h>

#include "observer/platform/macos/cf_string.h"
#include "observer/platform/macos/hal_ticks.h"
#include "observer/platform/macos/output_watch.h"

namespace observer::platform {

void scheduleRepeatingTimer(std::chrono::milliseconds interval, std::function<void()> action) {
    const CFTimeInterval seconds = std::chrono::duration<CFTimeInterval>(interval).count();
    // The block owns its copy of the action; the run loop keeps the timer, and with it the
    // block, for the rest of the process, since the timer is never cancelled.
    macos::CFOwned<CFRunLoopTimerRef> timer(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent() + seconds, seconds, 0, 0,
        ^(CFRunLoopTimerRef) {
            // CFRunLoopRun, unlike an application's event loop, drains no autorelease pool:
            // whatever the frameworks autorelease during a tick (the audio HAL, the window
            // server, locale code) would otherwise collect for the whole run.
            @autoreleasepool {
                action();
                macos::halTickEnded();
            }
        }));
    if (!timer) return;
    CFRunLoopAddTimer(CFRunLoopGetMain(), timer.get(), kCFRunLoopDefaultMode);
}

void runMainRunLoop() {
    macos::watchWaitingOutputBeforeEachWait();
    // Returns only once the run loop has no timer or source left, which with the timer
    // above never happens.
    CFRunLoopRun();
}

}  // namespace observer::platform

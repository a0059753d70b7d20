// Output waiting for a slow reader is flushed from the main CFRunLoop: one
// CFFileDescriptor per standard stream, added to the run loop once, whose write callback
// is enabled, just before the run loop waits, only for a stream with something waiting.
// Its callbacks are one-shot, so an idle stream costs nothing; the next wait enables the
// callback again for whatever is still left.
#include "observer/platform/macos/output_watch.h"

#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>

#include "observer/platform/helpers/posix/output_polling.h"
#include "observer/platform/macos/cf_string.h"

namespace observer::platform::macos {
namespace {

void streamWritable(CFFileDescriptorRef, CFOptionFlags, void*) {
    posix::flushWaitingOutput();
}

// Kept for the life of the process, as the run loop keeps its timer.
CFFileDescriptorRef watchOf(int fd) {
    static CFFileDescriptorRef watches[STDERR_FILENO + 1] = {};
    if (fd < 0 || fd > STDERR_FILENO) return nullptr;
    if (watches[fd] == nullptr) {
        CFFileDescriptorRef watch = CFFileDescriptorCreate(kCFAllocatorDefault, fd, false, streamWritable, nullptr);
        if (watch == nullptr) return nullptr;
        const CFOwned<CFRunLoopSourceRef> source(CFFileDescriptorCreateRunLoopSource(kCFAllocatorDefault, watch, 0));
        if (!source) {
            CFRelease(watch);
            return nullptr;
        }
        CFRunLoopAddSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
        watches[fd] = watch;
    }
    return watches[fd];
}

void watchForWriting(int fd) {
    if (CFFileDescriptorRef watch = watchOf(fd)) CFFileDescriptorEnableCallBacks(watch, kCFFileDescriptorWriteCallBack);
}

void aboutToWait(CFRunLoopObserverRef, CFRunLoopActivity, void*) {
    const posix::WaitingOutput waiting = posix::waitingOutput();
    if (waiting.events) watchForWriting(STDOUT_FILENO);
    if (waiting.log) watchForWriting(STDERR_FILENO);
}

}  // namespace

void watchWaitingOutputBeforeEachWait() {
    const CFOwned<CFRunLoopObserverRef> observer(
        CFRunLoopObserverCreate(kCFAllocatorDefault, kCFRunLoopBeforeWaiting, true, 0, aboutToWait, nullptr));
    // The run loop keeps the observer for the rest of the process.
    if (observer) CFRunLoopAddObserver(CFRunLoopGetMain(), observer.get(), kCFRunLoopDefaultMode);
}

}  // namespace observer::platform::macos

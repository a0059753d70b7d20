// Output waiting for a slow reader is flushed from the main CFRunLoop: one
// CFFileDescriptor per standard stream, added to the run loop once, whose write callback
// is enabled only while something waits. Its callbacks are one-shot, so an idle stream
// costs nothing; the flush enables the callback again for whatever is still left.
#include <CoreFoundation/CoreFoundation.h>

#include <unistd.h>

#include "observer/platform/macos/cf_string.h"
#include "observer/platform/posix/output_channels.h"

namespace observer::platform::posix {
namespace {

void streamWritable(CFFileDescriptorRef, CFOptionFlags, void*) {
    flushWaitingOutput();
}

// Kept for the life of the process, as the run loop keeps its timer.
CFFileDescriptorRef watchOf(int fd) {
    static CFFileDescriptorRef watches[STDERR_FILENO + 1] = {};
    if (fd < 0 || fd > STDERR_FILENO) return nullptr;
    if (watches[fd] == nullptr) {
        CFFileDescriptorRef watch = CFFileDescriptorCreate(kCFAllocatorDefault, fd, false, streamWritable, nullptr);
        if (watch == nullptr) return nullptr;
        const macos::CFOwned<CFRunLoopSourceRef> source(
            CFFileDescriptorCreateRunLoopSource(kCFAllocatorDefault, watch, 0));
        if (!source) {
            CFRelease(watch);
            return nullptr;
        }
        CFRunLoopAddSource(CFRunLoopGetMain(), source.get(), kCFRunLoopDefaultMode);
        watches[fd] = watch;
    }
    return watches[fd];
}

}  // namespace

void outputIsWaiting(int fd) {
    if (CFFileDescriptorRef watch = watchOf(fd)) CFFileDescriptorEnableCallBacks(watch, kCFFileDescriptorWriteCallBack);
}

}  // namespace observer::platform::posix

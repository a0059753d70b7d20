// The window server's on-screen window list from CGWindowListCopyWindowInfo. The array is
// kept as the window server gave it and each entry is read only when asked for.
#include "observer/platform/window_list.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>

#include <utility>

#include "observer/platform/macos/cf_string.h"

namespace observer::platform {

class WindowList {
public:
    explicit WindowList(macos::CFOwned<CFArrayRef> windows) : windows_(std::move(windows)) {}

    std::size_t count() const { return static_cast<std::size_t>(CFArrayGetCount(windows_.get())); }

    // The entry at `index` if it is a dictionary; entries are only expected to be.
    CFDictionaryRef entry(std::size_t index) const {
        if (index >= count()) return nullptr;
        const void* value = CFArrayGetValueAtIndex(windows_.get(), static_cast<CFIndex>(index));
        if (value == nullptr || CFGetTypeID(value) != CFDictionaryGetTypeID()) return nullptr;
        return static_cast<CFDictionaryRef>(value);
    }

private:
    macos::CFOwned<CFArrayRef> windows_;
};

void WindowListRelease::operator()(WindowList* list) const {
    delete list;
}

WindowListHandle copyOnScreenWindows() {
    macos::CFOwned<CFArrayRef> windows(
        CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID));
    // Outside a GUI session there is no list at all.
    if (!windows) return WindowListHandle();
    if (CFGetTypeID(windows.get()) != CFArrayGetTypeID()) return WindowListHandle();
    return WindowListHandle(new WindowList(std::move(windows)));
}

std::size_t windowCount(const WindowList& list) {
    return list.count();
}

WindowOwnerPid windowOwnerPid(const WindowList& list, std::size_t index) {
    const CFDictionaryRef window = list.entry(index);
    if (window == nullptr) return WrongType{};
    const void* value = CFDictionaryGetValue(window, kCGWindowOwnerPID);
    if (value == nullptr) return MissingKey{};
    if (CFGetTypeID(value) != CFNumberGetTypeID()) return WrongType{};
    SInt32 pid = 0;
    // False means the number does not fit 32 bits or is not whole.
    if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &pid)) return WrongType{};
    return std::int32_t{pid};
}

WindowName windowName(const WindowList& list, std::size_t index) {
    const CFDictionaryRef window = list.entry(index);
    if (window == nullptr) return WrongType{};
    // Missing for other applications' windows while Screen Recording is not granted.
    const void* value = CFDictionaryGetValue(window, kCGWindowName);
    if (value == nullptr) return MissingKey{};
    if (CFGetTypeID(value) != CFStringGetTypeID()) return WrongType{};
    return macos::utf8FromCFString(static_cast<CFStringRef>(value));
}

std::optional<std::int32_t> windowLayer(const WindowList& list, std::size_t index) {
    const CFDictionaryRef window = list.entry(index);
    if (window == nullptr) return std::nullopt;
    const void* value = CFDictionaryGetValue(window, kCGWindowLayer);
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) return std::nullopt;
    SInt32 layer = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &layer)) return std::nullopt;
    return std::int32_t{layer};
}

// Asks without prompting: the grant as it stands (macOS 10.15 and later).
std::optional<bool> windowTitlesReadable() {
    return CGPreflightScreenCaptureAccess();
}

}  // namespace observer::platform

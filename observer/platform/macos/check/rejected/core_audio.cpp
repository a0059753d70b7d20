// Misuses of the CoreAudio HAL that the declaration stubs must reject, as a Mac's SDK would.
#include <CoreAudio/CoreAudio.h>

#include <cstddef>

namespace {

void addressByValue(AudioObjectPropertyAddress address) {
    UInt32 size = 0;
    // expected-error@+1 {{no matching function for call to 'AudioObjectGetPropertyDataSize'}}
    AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, address, 0, nullptr, &size);
}

void sizeByValue(const AudioObjectPropertyAddress& address, void* data) {
    UInt32 size = 4;
    // expected-error@+1 {{no matching function for call to 'AudioObjectGetPropertyData'}}
    AudioObjectGetPropertyData(kAudioObjectSystemObject, &address, 0, nullptr, size, data);
}

void sizeOfTheWrongWidth(const AudioObjectPropertyAddress& address) {
    std::size_t size = 0;
    // expected-error@+1 {{no matching function for call to 'AudioObjectGetPropertyDataSize'}}
    AudioObjectGetPropertyDataSize(kAudioObjectSystemObject, &address, 0, nullptr, &size);
}

void processSelectorsNeedTheirOwnCodes() {
    // Older SDKs lack this name, so the sources must not use it.
    // expected-error@+1 {{use of undeclared identifier 'kAudioHardwarePropertyProcessObjectList'}}
    (void)kAudioHardwarePropertyProcessObjectList;
}

}  // namespace

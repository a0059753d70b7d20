// The CoreAudio HAL's property queries, passed through with their status and byte counts.
#include "observer/platform/audio_hal.h"

#include <CoreAudio/CoreAudio.h>

#include <cstddef>
#include <type_traits>

namespace observer::platform::audio {
namespace {

// The contract's constants are the HAL's own; these catch a drift on the first build.
static_assert(std::is_same_v<AudioObjectID, ObjectId>);
static_assert(std::is_same_v<OSStatus, Status>);
static_assert(kAudioObjectSystemObject == systemObject);
static_assert(kAudioObjectPropertyElementMain == elementMain);
static_assert(kAudioObjectPropertyScopeGlobal == scope::global);
static_assert(kAudioObjectPropertyScopeInput == scope::input);
static_assert(kAudioHardwarePropertyDevices == selector::devices);
static_assert(kAudioDevicePropertyStreamConfiguration == selector::streamConfiguration);
static_assert(kAudioDevicePropertyDeviceIsRunningSomewhere == selector::deviceIsRunningSomewhere);
// The process-object selectors are not compared: SDKs before 14.2 lack their names, and
// the contract's four-char codes are what is sent either way.
static_assert(offsetof(AudioBufferList, mBuffers) == bufferListHeaderSize);
static_assert(sizeof(AudioBuffer) == bufferRecordSize);
static_assert(sizeof(AudioBufferList) == oneBufferListSize);
static_assert(offsetof(AudioBuffer, mNumberChannels) == 0);

AudioObjectPropertyAddress halAddress(const PropertyAddress& address) {
    return AudioObjectPropertyAddress{address.selector, address.scope, address.element};
}

}  // namespace

Status getPropertyDataSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize) {
    const AudioObjectPropertyAddress hal = halAddress(address);
    UInt32 size = 0;
    const OSStatus status = AudioObjectGetPropertyDataSize(object, &hal, 0, nullptr, &size);
    outDataSize = size;
    return status;
}

Status getPropertyData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void* outData) {
    const AudioObjectPropertyAddress hal = halAddress(address);
    UInt32 size = ioDataSize;
    const OSStatus status = AudioObjectGetPropertyData(object, &hal, 0, nullptr, &size, outData);
    ioDataSize = size;
    return status;
}

}  // namespace observer::platform::audio

// The CoreAudio HAL's property queries with their status and byte counts: those that a
// tick makes of every audio object answered from the mirror that the HAL's listeners keep
// (hal_mirror.h), the others passed through.
#include "observer/platform/audio_hal.h"

#include <CoreAudio/CoreAudio.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "observer/platform/macos/hal_listeners.h"
#include "observer/platform/macos/hal_mirror.h"
#include "observer/platform/macos/hal_ticks.h"
#include "observer/platform/standard_streams.h"

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

Status directSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize) {
    const AudioObjectPropertyAddress hal = halAddress(address);
    UInt32 size = 0;
    const OSStatus status = AudioObjectGetPropertyDataSize(object, &hal, 0, nullptr, &size);
    outDataSize = size;
    return status;
}

Status directData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void* outData) {
    const AudioObjectPropertyAddress hal = halAddress(address);
    UInt32 size = ioDataSize;
    const OSStatus status = AudioObjectGetPropertyData(object, &hal, 0, nullptr, &size, outData);
    ioDataSize = size;
    return status;
}

class CoreAudio final : public macos::HalSource {
public:
    macos::PropertyValue read(ObjectId object, const PropertyAddress& address) override {
        macos::PropertyValue value;
        std::uint32_t size = 0;
        value.status = directSize(object, address, size);
        if (value.status != noErr) return value;
        value.bytes.resize(size);
        value.status = directData(object, address, size, value.bytes.data());
        value.bytes.resize(std::min<std::size_t>(size, value.bytes.size()));
        return value;
    }
    bool listen(ObjectId object, const PropertyAddress& address, std::function<void()> changed) override {
        return macos::addHalListener(object, address, std::move(changed));
    }
    void stopListening(ObjectId object, const PropertyAddress& address) override {
        macos::removeHalListener(object, address);
    }
};

macos::HalMirror& mirror() {
    static CoreAudio coreAudio;
    static macos::HalMirror kept(coreAudio, [](std::string_view line) { writeDiagnosticMessage(line); });
    return kept;
}

}  // namespace

Status getPropertyDataSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize) {
    if (!macos::HalMirror::mirrors(address)) return directSize(object, address, outDataSize);
    const macos::PropertyValue value = mirror().read(object, address);
    outDataSize = static_cast<std::uint32_t>(value.bytes.size());
    return value.status;
}

// A buffer too small for the mirrored value gets the HAL's own answer.
Status getPropertyData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void* outData) {
    if (!macos::HalMirror::mirrors(address)) return directData(object, address, ioDataSize, outData);
    const macos::PropertyValue value = mirror().read(object, address);
    if (value.status != noErr) return value.status;
    if (ioDataSize < value.bytes.size()) return directData(object, address, ioDataSize, outData);
    if (!value.bytes.empty()) std::memcpy(outData, value.bytes.data(), value.bytes.size());
    ioDataSize = static_cast<std::uint32_t>(value.bytes.size());
    return noErr;
}

}  // namespace observer::platform::audio

namespace observer::platform::macos {

void halTickEnded() {
    audio::mirror().tickEnded();
}

}  // namespace observer::platform::macos

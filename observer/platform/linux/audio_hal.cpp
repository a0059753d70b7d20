// Audio on Linux until a sound-server backend answers: no process objects and no devices,
// so quorvel runs in device-level mode and sees no microphone in use.
#include "observer/platform/audio_hal.h"

namespace observer::platform::audio {
namespace {

constexpr Status unknownProperty = 2003332927;  // 'who?'

}  // namespace

Status getPropertyDataSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize) {
    if (object == systemObject && address.selector == selector::devices) {
        outDataSize = 0;
        return noErr;
    }
    return unknownProperty;
}

Status getPropertyData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void*) {
    if (object == systemObject && address.selector == selector::devices) {
        ioDataSize = 0;
        return noErr;
    }
    return unknownProperty;
}

}  // namespace observer::platform::audio

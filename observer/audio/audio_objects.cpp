// Property queries of the audio HAL turned into values. A failed query gives the
// operation's fixed failure result; nothing is logged, retried or cached.
#include "observer/audio/audio_objects.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace observer {
namespace hal = platform::audio;
namespace {

constexpr hal::PropertyAddress globalAddress(std::uint32_t selector) {
    return {selector, hal::scope::global, hal::elementMain};
}

// Reads an id list of the system object. The capacity passed is count * 4, so an odd
// reported size never lets the HAL write past the list.
std::optional<std::vector<AudioObjectID>> readObjectList(std::uint32_t selector) {
    const hal::PropertyAddress address = globalAddress(selector);
    std::uint32_t size = 0;
    if (hal::getPropertyDataSize(hal::systemObject, address, size) != hal::noErr) return std::nullopt;
    const std::size_t count = size / sizeof(AudioObjectID);
    if (count == 0) return std::vector<AudioObjectID>{};
    std::vector<AudioObjectID> ids(count, 0);
    std::uint32_t written = static_cast<std::uint32_t>(count * sizeof(AudioObjectID));
    if (hal::getPropertyData(hal::systemObject, address, written, ids.data()) != hal::noErr) return std::nullopt;
    ids.resize(std::min<std::size_t>(written / sizeof(AudioObjectID), count));
    return ids;
}

std::optional<std::uint32_t> readScalar(AudioObjectID object, std::uint32_t selector) {
    const hal::PropertyAddress address = globalAddress(selector);
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    if (hal::getPropertyData(object, address, size, &value) != hal::noErr) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::vector<AudioObjectID>> audioProcessObjects() {
    return readObjectList(hal::selector::processObjectList);
}

std::vector<AudioObjectID> inputDevices() {
    std::vector<AudioObjectID> devices = readObjectList(hal::selector::devices).value_or(std::vector<AudioObjectID>{});
    std::erase_if(devices, [](AudioObjectID device) { return !hasInputChannels(device); });
    return devices;
}

bool hasInputChannels(AudioObjectID device) {
    const hal::PropertyAddress address{hal::selector::streamConfiguration, hal::scope::input, hal::elementMain};
    std::uint32_t size = 0;
    if (hal::getPropertyDataSize(device, address, size) != hal::noErr) return false;
    if (size < hal::oneBufferListSize) return false;

    // Eight-byte alignment, as an AudioBufferList needs; freed on every path.
    const std::size_t words = (size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);
    const auto block = std::make_unique<std::uint64_t[]>(words);
    std::uint32_t written = size;
    if (hal::getPropertyData(device, address, written, block.get()) != hal::noErr) return false;

    // Read the buffer records only as far as the bytes written reach, whatever the
    // buffer count claims.
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.get());
    const std::size_t available = std::min<std::size_t>(written, size);
    if (available < sizeof(std::uint32_t)) return false;
    std::uint32_t bufferCount = 0;
    std::memcpy(&bufferCount, bytes, sizeof bufferCount);
    for (std::uint32_t index = 0; index < bufferCount; ++index) {
        const std::size_t offset = hal::bufferListHeaderSize + index * hal::bufferRecordSize;
        if (offset + sizeof(std::uint32_t) > available) break;
        std::uint32_t channels = 0;
        std::memcpy(&channels, bytes + offset, sizeof channels);
        if (channels != 0) return true;
    }
    return false;
}

bool isMicActive(AudioObjectID device) {
    return readScalar(device, hal::selector::deviceIsRunningSomewhere).value_or(0) != 0;
}

bool isProcessRunningInput(AudioObjectID processObject) {
    return readScalar(processObject, hal::selector::processIsRunningInput).value_or(0) != 0;
}

std::optional<Pid> processPID(AudioObjectID processObject) {
    const auto value = readScalar(processObject, hal::selector::processPID);
    if (!value) return std::nullopt;
    return static_cast<Pid>(*value);
}

}  // namespace observer

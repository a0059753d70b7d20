// Property reads of the audio HAL for the tests.
#include "observer/platform/linux/tests/hal_reading.h"

#include <cstring>

namespace observer::platform::hal_reading {

std::optional<std::vector<hal::ObjectId>> idList(const hal::PropertyAddress& address) {
    std::uint32_t size = 0;
    if (hal::getPropertyDataSize(hal::systemObject, address, size) != hal::noErr) return std::nullopt;
    std::vector<hal::ObjectId> ids(size / 4);
    std::uint32_t written = size;
    if (hal::getPropertyData(hal::systemObject, address, written, ids.data()) != hal::noErr) return std::nullopt;
    ids.resize(written / 4);
    return ids;
}

std::optional<std::uint32_t> scalar(hal::ObjectId object, const hal::PropertyAddress& address) {
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    if (hal::getPropertyData(object, address, size, &value) != hal::noErr || size != sizeof value) return std::nullopt;
    return value;
}

std::optional<std::vector<std::uint32_t>> inputChannels(hal::ObjectId device) {
    std::uint32_t size = 0;
    if (hal::getPropertyDataSize(device, inputConfiguration, size) != hal::noErr) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    if (hal::getPropertyData(device, inputConfiguration, size, bytes.data()) != hal::noErr) return std::nullopt;
    std::uint32_t count = 0;
    std::memcpy(&count, bytes.data(), 4);
    std::vector<std::uint32_t> channels(count);
    for (std::uint32_t i = 0; i < count; ++i)
        std::memcpy(&channels[i], bytes.data() + hal::bufferListHeaderSize + i * hal::bufferRecordSize, 4);
    return channels;
}

std::optional<hal::ObjectId> processObjectOf(pid_t pid) {
    const auto ids = idList(processList);
    if (!ids) return std::nullopt;
    for (const auto id : *ids)
        if (scalar(id, processPid) == std::optional<std::uint32_t>(static_cast<std::uint32_t>(pid))) return id;
    return std::nullopt;
}

std::vector<std::uint32_t> recordingPids() {
    std::vector<std::uint32_t> pids;
    const auto ids = idList(processList);
    if (!ids) return pids;
    for (const auto id : *ids)
        if (scalar(id, runningInput) == 1u)
            if (const auto pid = scalar(id, processPid)) pids.push_back(*pid);
    return pids;
}

}  // namespace observer::platform::hal_reading

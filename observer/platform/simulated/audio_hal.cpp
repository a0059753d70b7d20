// The HAL over the simulated world: the system object lists the devices and process
// objects; every other object answers its own properties.
#include "observer/platform/audio_hal.h"

#include <cstring>
#include <vector>

#include "observer/platform/simulated/simulation.h"

namespace observer::platform::audio {
namespace {

using simulated::HalQuery;
using simulated::simulation;

constexpr Status unknownProperty = 2003332927;  // 'who?'
constexpr Status badObject = 560947818;         // '!obj'
constexpr Status unspecified = 2003329396;      // 'what'

// The property's value as bytes, or the failure status.
struct Value {
    Status status = noErr;
    std::vector<unsigned char> bytes;
};

Value failed(Status status) {
    return Value{status, {}};
}

template <typename T>
void append(std::vector<unsigned char>& bytes, T value) {
    const auto* raw = reinterpret_cast<const unsigned char*>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

Value scalar(const std::optional<bool>& flag) {
    if (!flag) return failed(unspecified);
    Value value;
    append<std::uint32_t>(value.bytes, *flag ? 1 : 0);
    return value;
}

Value systemProperty(const PropertyAddress& address) {
    const simulated::World& world = simulation().world;
    Value value;
    if (address.selector == selector::processObjectList) {
        if (!world.audioProcesses) return failed(unknownProperty);
        for (const auto& process : *world.audioProcesses) append<ObjectId>(value.bytes, process.id);
        return value;
    }
    if (address.selector == selector::devices) {
        for (const auto& device : world.devices) append<ObjectId>(value.bytes, device.id);
        return value;
    }
    return failed(unknownProperty);
}

Value deviceProperty(const simulated::Device& device, const PropertyAddress& address) {
    if (address.selector == selector::deviceIsRunningSomewhere) return scalar(device.running);
    if (address.selector == selector::streamConfiguration && address.scope == scope::input) {
        if (!device.inputChannels) return failed(unspecified);
        Value value;
        append<std::uint32_t>(value.bytes, static_cast<std::uint32_t>(device.inputChannels->size()));
        append<std::uint32_t>(value.bytes, 0);  // padding before the 8-aligned records
        for (const std::uint32_t channels : *device.inputChannels) {
            append<std::uint32_t>(value.bytes, channels);
            append<std::uint32_t>(value.bytes, 0);  // data byte size
            append<std::uint64_t>(value.bytes, 0);  // data pointer
        }
        return value;
    }
    return failed(unknownProperty);
}

Value processProperty(const simulated::AudioProcess& process, const PropertyAddress& address) {
    if (address.selector == selector::processIsRunningInput) return scalar(process.runningInput);
    if (address.selector == selector::processPID) {
        if (!process.pid) return failed(unspecified);
        Value value;
        append<std::int32_t>(value.bytes, *process.pid);
        return value;
    }
    return failed(unknownProperty);
}

Value propertyValue(ObjectId object, const PropertyAddress& address) {
    simulated::Simulation& s = simulation();
    if (object == systemObject) return systemProperty(address);
    if (const auto found = s.deviceById.find(object); found != s.deviceById.end()) {
        return deviceProperty(s.world.devices[found->second], address);
    }
    if (const auto found = s.audioProcessById.find(object); found != s.audioProcessById.end()) {
        return processProperty((*s.world.audioProcesses)[found->second], address);
    }
    return failed(badObject);
}

std::optional<Status> overridden(HalQuery query, ObjectId object, const PropertyAddress& address,
                                 std::uint32_t& size, void* data) {
    simulated::Simulation& s = simulation();
    if (s.recordingHalCalls) s.halCalls.push_back({query, object, address.selector});
    if (!s.halOverride) return std::nullopt;
    return s.halOverride(query, object, address, size, data);
}

}  // namespace

Status getPropertyDataSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize) {
    if (const auto status = overridden(HalQuery::size, object, address, outDataSize, nullptr)) return *status;
    const Value value = propertyValue(object, address);
    if (value.status != noErr) return value.status;
    outDataSize = static_cast<std::uint32_t>(value.bytes.size());
    return noErr;
}

Status getPropertyData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void* outData) {
    if (const auto status = overridden(HalQuery::data, object, address, ioDataSize, outData)) return *status;
    const Value value = propertyValue(object, address);
    if (value.status != noErr) return value.status;
    const std::uint32_t written = std::min<std::uint32_t>(ioDataSize, static_cast<std::uint32_t>(value.bytes.size()));
    std::memcpy(outData, value.bytes.data(), written);
    ioDataSize = written;
    return noErr;
}

}  // namespace observer::platform::audio

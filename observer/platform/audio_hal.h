// The audio hardware abstraction layer as the microphone probes see it: property
// size and data queries on audio objects, each answering a status and a byte count.
//
// Contract for every backend:
// - A status of `noErr` is success; any other value is failure and leaves the
//   out-values unspecified. Callers never inspect a failure's value.
// - `getPropertyDataSize` reports the byte size of the property's current value.
// - `getPropertyData` takes the buffer's capacity in `ioDataSize`, writes at most that
//   many bytes and reports the number written, which may be fewer than the size query
//   said (the value can change between the two calls).
// - The system object (id 1) lists the devices and the process objects as arrays of
//   4-byte object ids. A backend without process objects fails the size query of
//   `processObjectList`.
// - The stream configuration of a device is laid out as an AudioBufferList of a 64-bit
//   system: a 4-byte buffer count at offset 0, then 16-byte buffer records from
//   offset 8, each starting with its 4-byte channel count.
// - Scalar properties (running somewhere, running input, pid) are 4 bytes.
// Only the observer's main thread calls these. Each answer is the state that the audio
// system had reported by the moment of the call: a backend may answer from a mirror that
// the system's own change notifications keep current, never from an answer it made up or
// kept past such a notification.
#pragma once

#include <cstddef>
#include <cstdint>

namespace observer::platform::audio {

using ObjectId = std::uint32_t;
using Status = std::int32_t;

inline constexpr Status noErr = 0;
inline constexpr ObjectId systemObject = 1;

// Four ASCII characters packed big-endian, as the HAL names its selectors and scopes.
consteval std::uint32_t fourCharCode(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

namespace selector {
inline constexpr std::uint32_t processObjectList = fourCharCode("prs#");
inline constexpr std::uint32_t devices = fourCharCode("dev#");
inline constexpr std::uint32_t streamConfiguration = fourCharCode("slay");
inline constexpr std::uint32_t deviceIsRunningSomewhere = fourCharCode("gone");
inline constexpr std::uint32_t processIsRunningInput = fourCharCode("piri");
inline constexpr std::uint32_t processPID = fourCharCode("ppid");
}  // namespace selector

namespace scope {
inline constexpr std::uint32_t global = fourCharCode("glob");
inline constexpr std::uint32_t input = fourCharCode("inpt");
}  // namespace scope

inline constexpr std::uint32_t elementMain = 0;

struct PropertyAddress {
    std::uint32_t selector;
    std::uint32_t scope;
    std::uint32_t element;
};

// Layout of an AudioBufferList.
inline constexpr std::size_t bufferListHeaderSize = 8;
inline constexpr std::size_t bufferRecordSize = 16;
inline constexpr std::size_t oneBufferListSize = bufferListHeaderSize + bufferRecordSize;

Status getPropertyDataSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize);
Status getPropertyData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void* outData);

}  // namespace observer::platform::audio

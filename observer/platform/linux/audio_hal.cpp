// The audio HAL's object model over the sound server's object lists. The system object
// lists one process object per client of the server and one device per sink and per
// source that is not a sink's monitor. Every query answers from the mirror of the
// server's lists, as the server has reported them up to that moment.
//
// Object ids carry the kind of object in their top two bits and the server's index in
// the rest: the server never reuses an index while it runs, so an id stays the same
// while its object lives, ids of different kinds never collide, and none is 0 or 1.
#include "observer/platform/audio_hal.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "observer/platform/linux/compositor_windows.h"
#include "observer/platform/linux/flatpak_applications.h"
#include "observer/platform/linux/pulse_connection.h"
#include "observer/platform/linux/x11_mirror.h"

namespace observer::platform::audio {
namespace {

constexpr Status unknownProperty = fourCharCode("who?");
constexpr Status badObject = fourCharCode("!obj");
constexpr Status badPropertySize = fourCharCode("!siz");
constexpr Status serverUnreachable = fourCharCode("stop");

enum class Kind : std::uint32_t { none = 0, client = 1, sink = 2, source = 3 };

constexpr unsigned kindShift = 30;
constexpr std::uint32_t indexMask = (1u << kindShift) - 1;

std::optional<ObjectId> makeId(Kind kind, std::uint32_t index) {
    if (index > indexMask) return std::nullopt;  // would not fit beside the kind
    return (static_cast<std::uint32_t>(kind) << kindShift) | index;
}

Kind kindOf(ObjectId id) {
    return static_cast<Kind>(id >> kindShift);
}

std::uint32_t indexOf(ObjectId id) {
    return id & indexMask;
}

// A property's whole value, laid out as the HAL lays it out, or the failure status.
struct Value {
    Status status = noErr;
    std::vector<std::uint8_t> bytes;
    bool scalar = false;
};

Value failure(Status status) {
    return {status, {}, false};
}

void append32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    const auto at = bytes.size();
    bytes.resize(at + 4);
    std::memcpy(bytes.data() + at, &value, 4);
}

Value scalar(std::uint32_t value) {
    Value result{noErr, {}, true};
    append32(result.bytes, value);
    return result;
}

Value idList(const std::vector<ObjectId>& ids) {
    Value result;
    for (const ObjectId id : ids) append32(result.bytes, id);
    return result;
}

// An AudioBufferList of 64-bit systems: count, padding, then 16-byte records that begin
// with the channel count.
Value bufferList(const std::vector<std::uint32_t>& channelsPerBuffer) {
    Value result;
    result.bytes.assign(bufferListHeaderSize + bufferRecordSize * channelsPerBuffer.size(), 0);
    const auto count = static_cast<std::uint32_t>(channelsPerBuffer.size());
    std::memcpy(result.bytes.data(), &count, 4);
    for (std::size_t i = 0; i < channelsPerBuffer.size(); ++i)
        std::memcpy(result.bytes.data() + bufferListHeaderSize + i * bufferRecordSize, &channelsPerBuffer[i], 4);
    return result;
}

Value systemProperty(const PropertyAddress& address) {
    if (address.selector == selector::processObjectList) {
        const auto* state = pulse::serverState();
        if (state == nullptr) return failure(serverUnreachable);
        std::vector<ObjectId> ids;
        for (const auto& [index, client] : state->clients)
            if (const auto id = makeId(Kind::client, index)) ids.push_back(*id);
        return idList(ids);
    }
    if (address.selector == selector::devices) {
        const auto* state = pulse::serverState();
        if (state == nullptr) return failure(serverUnreachable);
        std::vector<ObjectId> ids;
        for (const auto& [index, sink] : state->sinks)
            if (const auto id = makeId(Kind::sink, index)) ids.push_back(*id);
        for (const auto& [index, source] : state->sources)
            if (!source.isMonitor)
                if (const auto id = makeId(Kind::source, index)) ids.push_back(*id);
        return idList(ids);
    }
    return failure(unknownProperty);
}

pulse::ServerIdentity identityOf(const pulse::ServerState& state) {
    pulse::ServerIdentity identity{state.onPipeWire, std::nullopt};
    if (const auto own = state.clients.find(state.ownClient); own != state.clients.end())
        identity.ownCredentialPid = pulse::parsePid(own->second.credentialPid);
    return identity;
}

Value processProperty(std::uint32_t index, const PropertyAddress& address) {
    const bool runningInput = address.selector == selector::processIsRunningInput;
    if (!runningInput && address.selector != selector::processPID) return failure(unknownProperty);
    const auto* state = pulse::recentServerState();
    if (state == nullptr) return failure(serverUnreachable);

    const auto found = state->clients.find(index);
    if (found == state->clients.end()) return failure(badObject);
    if (runningInput) return scalar(pulse::recordsFromMicrophone(*state, index) ? 1 : 0);
    const auto pid = pulse::clientPid(found->second, identityOf(*state), flatpak::runningApplication);
    if (!pid) return failure(unknownProperty);
    return scalar(static_cast<std::uint32_t>(*pid));
}

Value deviceProperty(Kind kind, std::uint32_t index, const PropertyAddress& address) {
    const bool configuration = address.selector == selector::streamConfiguration;
    if (!configuration && address.selector != selector::deviceIsRunningSomewhere) return failure(unknownProperty);
    const auto* state = pulse::recentServerState();
    if (state == nullptr) return failure(serverUnreachable);

    // A source records and a sink plays: each has streams on its own side only.
    const bool sideMatches = (address.scope == scope::input) == (kind == Kind::source);
    auto answer = [&](std::uint8_t channels, bool running) {
        if (!configuration) return scalar(running ? 1 : 0);
        return sideMatches ? bufferList({channels}) : bufferList({});
    };
    if (kind == Kind::sink) {
        if (const auto sink = state->sinks.find(index); sink != state->sinks.end())
            return answer(sink->second.channels, sink->second.running);
    } else {
        const auto source = state->sources.find(index);
        if (source != state->sources.end() && !source->second.isMonitor)
            return answer(source->second.channels, source->second.running);
    }
    return failure(badObject);
}

// The first question of a run is the startup probe that decides the mode for good. The
// session's source of windows (its compositor, or else the X server) is reached then too,
// so that what cannot be reached is said at startup, and the windows are mirrored before
// the first tick needs them.
void probeTheWindowSourceOnce() {
    static bool probed = false;
    if (probed) return;
    probed = true;
    if (compositor::sessionHasCompositorSource()) {
        compositor::currentView();
    } else {
        x11::currentView();
    }
}

Value propertyValue(ObjectId object, const PropertyAddress& address) {
    probeTheWindowSourceOnce();
    if (object == systemObject) return systemProperty(address);
    switch (kindOf(object)) {
        case Kind::client:
            return processProperty(indexOf(object), address);
        case Kind::sink:
        case Kind::source:
            return deviceProperty(kindOf(object), indexOf(object), address);
        case Kind::none:
            break;
    }
    return failure(badObject);
}

}  // namespace

Status getPropertyDataSize(ObjectId object, const PropertyAddress& address, std::uint32_t& outDataSize) {
    const Value value = propertyValue(object, address);
    if (value.status != noErr) return value.status;
    outDataSize = static_cast<std::uint32_t>(value.bytes.size());
    return noErr;
}

Status getPropertyData(ObjectId object, const PropertyAddress& address, std::uint32_t& ioDataSize, void* outData) {
    const Value value = propertyValue(object, address);
    if (value.status != noErr) return value.status;
    if (value.scalar && ioDataSize < value.bytes.size()) return badPropertySize;
    // Every value is made of 4-byte fields; a short buffer gets the whole fields that fit.
    std::size_t written = std::min<std::size_t>(ioDataSize, value.bytes.size());
    written -= written % 4;
    if (written > 0) std::memcpy(outData, value.bytes.data(), written);
    ioDataSize = static_cast<std::uint32_t>(written);
    return noErr;
}

}  // namespace observer::platform::audio

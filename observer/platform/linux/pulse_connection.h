// A single-threaded connection to the sound server (PulseAudio or PipeWire's pulse
// server), asked for the object lists that the audio HAL answers from.
//
// Every call reads the server's state at that moment; nothing is cached. The connection
// is kept between calls and opened again when it was lost. A call never waits longer
// than a fraction of a second, and never starts a server.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace observer::platform::pulse {

struct Client {
    std::uint32_t index = 0;
    std::optional<std::string> credentialPid;  // "pipewire.sec.pid", from the socket
    std::optional<std::string> reportedPid;    // "application.process.id", self-reported
};

struct SourceOutput {
    std::uint32_t client = 0;  // invalid index for streams that no client owns
    std::uint32_t source = 0;
    bool corked = false;
};

struct Source {
    std::uint32_t index = 0;
    bool isMonitor = false;
    std::uint8_t channels = 0;
    bool running = false;
};

struct Sink {
    std::uint32_t index = 0;
    std::uint8_t channels = 0;
    bool running = false;
};

// Which lists a call asks for; the others stay empty.
enum ListMask : unsigned {
    clients = 1u << 0,
    sourceOutputs = 1u << 1,
    sources = 1u << 2,
    sinks = 1u << 3,
};

struct ServerState {
    std::vector<Client> clients;
    std::vector<SourceOutput> sourceOutputs;
    std::vector<Source> sources;
    std::vector<Sink> sinks;
};

// The asked lists in the server's order, or nothing when no server answers in time.
std::optional<ServerState> readServerState(unsigned lists);

}  // namespace observer::platform::pulse

// A single-threaded connection to the sound server (PulseAudio or PipeWire's pulse
// server) that keeps a mirror of the object lists the audio HAL answers from.
//
// The connection subscribes to the server's change events and builds the mirror once
// (one list request per kind); from then on each event updates it. A call dispatches
// what has already arrived, without waiting for more, and answers from the mirror: no
// round trip when nothing changed, and a server that stalls while keeping its connection
// leaves the last state it reported. The only waits are bounded: building the mirror,
// and the object the server names in a change event, asked once. A lost connection
// drops the mirror; the next call connects again and rebuilds it. Nothing starts a server.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "observer/platform/linux/client_pid.h"

namespace observer::platform::pulse {

using Client = ClientClaims;

struct SourceOutput {
    std::uint32_t client = 0;  // invalid index for streams that no client owns
    std::uint32_t source = 0;
    bool corked = false;
};

struct Source {
    bool isMonitor = false;
    std::uint8_t channels = 0;
    bool running = false;
};

struct Sink {
    std::uint8_t channels = 0;
    bool running = false;
};

// Objects by the server's index, which it never reuses while it runs.
struct ServerState {
    bool onPipeWire = false;  // the server's name says so: "PulseAudio (on PipeWire 0.3.65)"
    std::uint32_t ownClient = 0xFFFFFFFF;  // quorvel's own connection
    std::map<std::uint32_t, Client> clients;
    std::map<std::uint32_t, SourceOutput> sourceOutputs;
    std::map<std::uint32_t, Source> sources;
    std::map<std::uint32_t, Sink> sinks;
};

// Whether the client has a recording stream running from a source that is not a sink's
// monitor.
bool recordsFromMicrophone(const ServerState& state, std::uint32_t client);

// The mirror as the server has reported it up to now, or nothing when no server could
// be reached or the mirror could not be built in time. Valid until the next call.
// When the connection is lost, the last state holds for up to `holdAfterLoss` while
// quorvel connects again, and after it has, until every client that was recording is
// recording again: a server restarted by hand or by an update is back within a second,
// native PipeWire clients record on through a restart of pipewire-pulse, and
// PulseAudio-protocol clients open their streams anew; a meeting that goes on recording
// must not end in between. A client that does not record again ends its recording once
// the time is up. The hold ends in takeInArrived, between ticks, so that all of a tick's
// questions see one state.
inline constexpr std::chrono::milliseconds holdAfterLoss{3000};
const ServerState* serverState();
// The same, sharing a read made in the last few milliseconds: for the questions about
// single objects that follow a list, as a tick's do, so that they see the state the
// list came from and cost no system call each.
const ServerState* recentServerState();

// Takes in what the server has sent since the last call, when a mirror is kept, without
// connecting or waiting, and ends a hold that is over. Called once per tick, after its
// questions, so that events do not pile up between them.
void takeInArrived();

// Two round trips: every change that the server had made when this was called is in the
// mirror when it returns true. For callers that changed the server themselves and must
// see it at once.
bool synchronize(std::chrono::milliseconds timeout);

}  // namespace observer::platform::pulse

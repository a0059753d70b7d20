// Which process a client of the sound server is, from what the server says about itself
// and about the client. Both servers that speak the PulseAudio protocol are in use, and
// they say different things:
// - PulseAudio proper knows a client only by the client's own word,
//   "application.process.id". Anything else a client claims, "pipewire.sec.pid" among
//   it, is the client's word too.
// - PipeWire's PulseAudio server (its name says "on PipeWire") adds "pipewire.sec.pid",
//   the pid from the socket's credentials. For a native PipeWire client that is the
//   client itself. For a client of pipewire-pulse's own socket (every PulseAudio-protocol
//   program: browsers, Zoom, Electron applications) it is pipewire-pulse's, which
//   connects to PipeWire on the client's behalf: a credential pid that is the server's
//   own is never a client's pid, and the client's own word stands.
// - A Flatpak application's word is a pid inside its sandbox (1 or 2, say), a different
//   process on the host. PipeWire names such a client's application,
//   "pipewire.access.portal.app_id", and the running application of that Flatpak id is
//   the client's process; without one, the client's pid is not known.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace observer::platform::pulse {

// What the server says about a client, as strings.
struct ClientClaims {
    std::optional<std::string> credentialPid;  // "pipewire.sec.pid"
    std::optional<std::string> reportedPid;    // "application.process.id"
    std::optional<std::string> flatpakId;      // "pipewire.access.portal.app_id"
};

// What the server says about itself.
struct ServerIdentity {
    bool onPipeWire = false;
    // The credential pid the server gives quorvel's own client: pipewire-pulse's pid.
    std::optional<std::int32_t> ownCredentialPid;
};

// The pid of the running application whose Flatpak id is the one given, if any.
using FlatpakLookup = std::function<std::optional<std::int32_t>(std::string_view flatpakId)>;

std::optional<std::int32_t> clientPid(const ClientClaims& client, const ServerIdentity& server,
                                      const FlatpakLookup& runningFlatpak);

// A pid as the server writes it: decimal digits, nothing else.
std::optional<std::int32_t> parsePid(const std::optional<std::string>& text);

}  // namespace observer::platform::pulse

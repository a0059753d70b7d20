// The rules of client_pid.h, in the order that they overrule each other.
#include "observer/platform/linux/client_pid.h"

#include <charconv>

namespace observer::platform::pulse {

std::optional<std::int32_t> parsePid(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    std::int32_t pid = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, pid);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return pid;
}

std::optional<std::int32_t> clientPid(const ClientClaims& client, const ServerIdentity& server,
                                      const FlatpakLookup& runningFlatpak) {
    std::optional<std::int32_t> credential;
    if (server.onPipeWire) {
        credential = parsePid(client.credentialPid);
        if (credential && credential == server.ownCredentialPid) credential.reset();
    }
    if (credential) return credential;
    if (client.flatpakId && server.onPipeWire) return runningFlatpak(*client.flatpakId);
    return parsePid(client.reportedPid);
}

}  // namespace observer::platform::pulse

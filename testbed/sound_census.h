// What the sound server itself says, asked over a connection of the test's own. A
// client that leaves only closes its socket, so nobody can tell when the server has
// taken note of it, except the server: a test waits for the census before it asks
// whether a mirror has followed.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace testbed {

struct SoundCensus {
    std::size_t clients = 0;  // not counting the census's own connection
    std::size_t sourceOutputs = 0;
    bool operator==(const SoundCensus&) const = default;
};

// Nothing when the server at `address` did not answer within the timeout.
std::optional<SoundCensus> takeSoundCensus(const std::string& address,
                                           std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

// The server's default source, as it names it; nothing when it did not answer in time.
std::optional<std::string> defaultSource(const std::string& address,
                                         std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

}  // namespace testbed

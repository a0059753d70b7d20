// The pid rules for sound-server clients, over the claims that the two servers were
// measured to make (PulseAudio 16, PipeWire 0.3.65).
#include "observer/platform/linux/client_pid.h"

#include <gtest/gtest.h>

#include <string>

namespace observer::platform::pulse {
namespace {

const ServerIdentity pulseAudio{false, std::nullopt};
constexpr std::int32_t pipeWirePulsePid = 700;
const ServerIdentity pipeWire{true, pipeWirePulsePid};

std::optional<std::int32_t> noFlatpak(std::string_view) {
    return std::nullopt;
}

TEST(ClientPidTest, PulseAudioHasOnlyTheClientsOwnWord) {
    EXPECT_EQ(clientPid({std::nullopt, "1234", std::nullopt}, pulseAudio, noFlatpak), 1234);
    // A claim to a credential is the client's word as well, and not its pid.
    EXPECT_EQ(clientPid({"4242", "1234", std::nullopt}, pulseAudio, noFlatpak), 1234);
    EXPECT_EQ(clientPid({"4242", std::nullopt, std::nullopt}, pulseAudio, noFlatpak), std::nullopt);
    // Nor does an application id of PipeWire's mean anything there.
    EXPECT_EQ(clientPid({std::nullopt, "2", "us.zoom.Zoom"}, pulseAudio, [](std::string_view) { return 900; }), 2);
}

TEST(ClientPidTest, UnderPipeWireTheCredentialCountsUnlessItIsTheServersOwn) {
    // A native PipeWire client: the socket's credentials name it.
    EXPECT_EQ(clientPid({"1500", "1500", std::nullopt}, pipeWire, noFlatpak), 1500);
    EXPECT_EQ(clientPid({"1500", std::nullopt, std::nullopt}, pipeWire, noFlatpak), 1500);
    // A PulseAudio-protocol client: pipewire-pulse connected on its behalf.
    EXPECT_EQ(clientPid({"700", "1234", std::nullopt}, pipeWire, noFlatpak), 1234);
    // pipewire-pulse's own connections are pipewire-pulse's.
    EXPECT_EQ(clientPid({"700", "700", std::nullopt}, pipeWire, noFlatpak), 700);
    EXPECT_EQ(clientPid({"700", std::nullopt, std::nullopt}, pipeWire, noFlatpak), std::nullopt);
    // Until the server has named quorvel's own credential, every credential counts.
    EXPECT_EQ(clientPid({"700", "1234", std::nullopt}, ServerIdentity{true, std::nullopt}, noFlatpak), 700);
}

TEST(ClientPidTest, AFlatpakClientIsItsRunningApplicationOrUnknown) {
    std::string asked;
    const FlatpakLookup zoomRuns = [&](std::string_view id) -> std::optional<std::int32_t> {
        asked = id;
        if (id == "us.zoom.Zoom") return 900;
        return std::nullopt;
    };
    // A PulseAudio-protocol client in a sandbox: its word is a pid of the sandbox's.
    EXPECT_EQ(clientPid({"700", "2", "us.zoom.Zoom"}, pipeWire, zoomRuns), 900);
    EXPECT_EQ(asked, "us.zoom.Zoom");
    EXPECT_EQ(clientPid({"700", "1", "com.slack.Slack"}, pipeWire, zoomRuns), std::nullopt)
        << "never the host's pid 1, nor any other process the sandbox's number names";
    // A native client in a sandbox: the kernel gave the credential in the host's terms.
    EXPECT_EQ(clientPid({"1600", "1", "com.slack.Slack"}, pipeWire, zoomRuns), 1600);
}

TEST(ClientPidTest, APidIsDecimalDigitsAndNothingElse) {
    EXPECT_EQ(parsePid(std::string("815")), 815);
    for (const char* text : {"", "12ab", " 12", "12 ", "0x10", "99999999999"}) {
        EXPECT_EQ(parsePid(std::string(text)), std::nullopt) << text;
    }
    EXPECT_EQ(parsePid(std::nullopt), std::nullopt);
}

}  // namespace
}  // namespace observer::platform::pulse

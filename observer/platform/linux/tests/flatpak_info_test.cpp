// The Flatpak id in a sandbox's /.flatpak-info, as Flatpak writes it, and what is no id.
#include "observer/platform/linux/flatpak_applications.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace observer::platform::flatpak {
namespace {

TEST(FlatpakInfoTest, TheIdIsTheApplicationGroupsName) {
    EXPECT_EQ(applicationIdIn("[Application]\nname=us.zoom.Zoom\nruntime=runtime/org.freedesktop.Platform/x86_64/23.08\n"
                              "\n[Instance]\ninstance-id=1234\n"),
              "us.zoom.Zoom");
    EXPECT_EQ(applicationIdIn("# written by flatpak\r\n[Application]\r\n  name = com.slack.Slack \r\n"), "com.slack.Slack");
    // A name in another group, or no name, is no application's.
    EXPECT_EQ(applicationIdIn("[Runtime]\nname=org.freedesktop.Platform\n"), std::nullopt);
    EXPECT_EQ(applicationIdIn("[Application]\nruntime=x\n[Instance]\nname=us.zoom.Zoom\n"), std::nullopt);
    EXPECT_EQ(applicationIdIn("[Application]\nname=\n"), std::nullopt);
    EXPECT_EQ(applicationIdIn(""), std::nullopt);
}

// This test runs outside any sandbox: its root has no /.flatpak-info, and a pid that
// names no process has no root at all.
TEST(FlatpakInfoTest, AProcessOutsideASandboxHasNoId) {
    EXPECT_EQ(applicationIdOf(static_cast<std::int32_t>(::getpid())), std::nullopt);
    EXPECT_EQ(applicationIdOf(-5), std::nullopt);
}

}  // namespace
}  // namespace observer::platform::flatpak

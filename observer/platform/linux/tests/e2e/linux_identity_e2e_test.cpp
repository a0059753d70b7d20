// quorvel end to end with Linux builds of catalogued browsers that name themselves
// differently from their Mac builds: found by their window class, with no desktop entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "observer/platform/linux/tests/e2e/observer_session.h"

namespace observer::platform::testing {
namespace {

using Lines = std::vector<std::string>;

const std::string dash = "\xE2\x80\x94";  // the log's em dash

std::string micActive(const std::string& app, pid_t pid, const std::string& title) {
    return R"({"event":"mic-active","app":")" + app + R"(","pid":)" + std::to_string(pid) + R"(,"title":")" + title +
           R"("})";
}

TEST(LinuxIdentityTest, EdgeAndBraveAreNamedByTheirLinuxWindowClasses) {
    ObserverSession session{SessionSetup{true, true}};
    ASSERT_TRUE(session.ready()) << "the private servers did not start";
    const std::string braveTitle = "Meet - abc-defg-hij - Brave";
    auto brave = session.actor();
    ASSERT_TRUE(brave && brave->command("window brave-browser Brave-browser " + braveTitle));
    const std::string edgeTitle = "Meet - klm-nopq-rst - Microsoft Edge";
    auto edge = session.frontWindow("microsoft-edge", "Microsoft-edge", edgeTitle);
    ASSERT_TRUE(edge);
    ASSERT_TRUE(session.startObserver());

    ASSERT_TRUE(edge->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(3));
    EXPECT_EQ(session.events().back(), micActive("Microsoft Edge", edge->pid, edgeTitle));
    EXPECT_EQ(session.log()[1], "frontmost: Microsoft Edge " + dash + " \"" + edgeTitle + "\"");
    ASSERT_TRUE(edge->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));

    // In the background, Brave is found by the fallback pass and its meeting title.
    ASSERT_TRUE(brave->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(5));
    EXPECT_EQ(session.events().back(), micActive("Brave", brave->pid, braveTitle));
}

}  // namespace
}  // namespace observer::platform::testing

// quorvel end to end with Linux builds of catalogued browsers that name themselves
// differently from their Mac builds: found by their window class, with no desktop entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

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
    ASSERT_TRUE(edge->command("stop"));
    ASSERT_TRUE(session.waitForEvents(4));
    // In the background, Brave is found by the fallback pass and its meeting title.
    ASSERT_TRUE(brave->command("record-child mic0"));
    ASSERT_TRUE(session.waitForEvents(5));

    const std::string edgeActive = micActive("Microsoft Edge", edge->pid, edgeTitle);
    const std::string braveActive = micActive("Brave", brave->pid, braveTitle);
    EXPECT_EQ(session.events(), (Lines{R"({"event":"heartbeat"})", R"({"event":"mic-mode","perProcess":true})",
                                       edgeActive, R"({"event":"mic-inactive","app":"","pid":0})", braveActive}));
    const std::string edgeIdle = "Microsoft Edge isn't using the mic " + dash + " not attributing to it";
    EXPECT_EQ(session.log(), (Lines{modeLine(session.host().process.pid()),
                                    "frontmost: Microsoft Edge " + dash + " \"" + edgeTitle + "\"",
                                    "title confirms meeting " + dash + " attributing to Microsoft Edge",
                                    "EMIT -> " + edgeActive,
                                    edgeIdle,
                                    "fallback candidate: Microsoft Edge " + dash + " \"" + edgeTitle + "\"",
                                    edgeIdle,
                                    "fallback candidate: Brave " + dash + " \"" + braveTitle + "\"",
                                    "EMIT -> " + braveActive}));
}

}  // namespace
}  // namespace e2e

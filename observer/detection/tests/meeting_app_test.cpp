#include "observer/detection/meeting_app.h"
#include "observer/testing/observer_fixture.h"

namespace observer::testing {
namespace {

constexpr Pid zoom = 700;
constexpr Pid chrome = 710;
constexpr Pid chromeCanary = 711;
constexpr Pid slack = 720;
constexpr Pid notes = 730;

const std::string dash = " \xE2\x80\x94 ";

// Everyone runs; who captures, who is frontmost and what the windows say varies.
class MeetingAppTest : public ObserverTest {
protected:
    sim::World world;

    void SetUp() override {
        ObserverTest::SetUp();
        world.processes = {process(zoom, 1), process(chrome, 1), process(chromeCanary, 1), process(slack, 1),
                           process(notes, 1), process(712, chrome)};
        world.apps = {app("Notes", notes, "com.apple.Notes"), app("Google Chrome Canary", chromeCanary),
                      app("Google Chrome", chrome, "com.google.Chrome"), app("zoom.us", zoom, "us.zoom.xos"),
                      app("Slack", slack, "com.tinyspeck.slackmacgap")};
        world.audioProcesses.emplace();
    }
    void capture(std::vector<Pid> pids) {
        platform::audio::ObjectId id = 10;
        for (const Pid pid : pids) world.audioProcesses->push_back(capturing(id++, pid));
    }
    void show(Pid pid, std::string title) { world.windows->push_back(window(pid, std::move(title))); }
    std::optional<DetectionResult> detect() {
        sim::setWorld(world);
        return detectMeetingApp();
    }
    static std::string line(const std::string& text) { return stamp + text; }
    static std::string notUsing(const std::string& label) {
        return line(label + " isn't using the mic" + dash + "not attributing to it");
    }
};

void expectResult(const std::optional<DetectionResult>& result, const std::string& label, Pid pid,
                  const std::string& title) {
    ASSERT_TRUE(result);
    EXPECT_EQ(result->label, label);
    EXPECT_EQ(result->pid, pid);
    EXPECT_EQ(result->title, title);
}

TEST_F(MeetingAppTest, FrontmostDedicatedClientNeedsNoTitle) {
    world.frontmostPid = zoom;
    capture({zoom});
    expectResult(detect(), "Zoom", zoom, "");
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              line("frontmost: Zoom" + dash + "\"\""),
                              line("mic active + dedicated app" + dash + "attributing to Zoom"),
                          }));
}

TEST_F(MeetingAppTest, FrontmostBrowserWithMeetingTitle) {
    world.frontmostPid = chrome;
    capture({712});
    show(chrome, "Meet - xyz");
    expectResult(detect(), "Google Chrome", chrome, "Meet - xyz");
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              line("frontmost: Google Chrome" + dash + "\"Meet - xyz\""),
                              line("title confirms meeting" + dash + "attributing to Google Chrome"),
                          }));
}

TEST_F(MeetingAppTest, FrontmostBrowserKeepsAttributionWithoutMeetingTitle) {
    world.frontmostPid = chrome;
    capture({712});
    show(chrome, "Inbox \"work\"");
    expectResult(detect(), "Google Chrome", chrome, "Inbox \"work\"");
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{
                  line("frontmost: Google Chrome" + dash + "\"Inbox \"work\"\""),
                  line("browser title mismatch" + dash + "keeping frontmost browser attribution for Google Chrome"),
              }));
}

TEST_F(MeetingAppTest, LabelInNeitherSetIsSkippedAndTheNextRowTried) {
    meetingApps.insert(meetingApps.begin(), MeetingApp{"Notes", "Notes"});
    world.apps = {app("Notes", notes)};
    world.frontmostPid = notes;
    capture({notes});
    show(notes, "Shopping list");
    EXPECT_FALSE(detect());
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              line("frontmost: Notes" + dash + "\"Shopping list\""),
                              line("title not a meeting" + dash + "skipping to avoid false positive"),
                              line("fallback candidate: Notes" + dash + "\"Shopping list\""),
                          }));
}

TEST_F(MeetingAppTest, FrontmostNotCapturingFallsBackToAMeetingTitle) {
    world.frontmostPid = slack;
    capture({zoom});
    show(zoom, "Zoom Meeting");
    show(slack, "general");
    expectResult(detect(), "Zoom", zoom, "Zoom Meeting");
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              notUsing("Slack"),
                              line("fallback candidate: Zoom" + dash + "\"Zoom Meeting\""),
                          })) << "the first matching row wins; zoom.us is examined once";
}

TEST_F(MeetingAppTest, FallbackNeedsMeetingTitleAndAttribution) {
    capture({slack});
    show(zoom, "Zoom Meeting");
    show(slack, "Huddle in #design");
    show(chrome, "Meet - abc");
    expectResult(detect(), "Slack", slack, "Huddle in #design");
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              line("fallback candidate: Zoom" + dash + "\"Zoom Meeting\""),
                              notUsing("Zoom"),
                              line("fallback candidate: Zoom" + dash + "\"Zoom Meeting\""),
                              notUsing("Zoom"),
                              line("fallback candidate: Slack" + dash + "\"Huddle in #design\""),
                          }));
}

TEST_F(MeetingAppTest, FallbackExaminesOnlyTheFirstMatchingApplicationPerRow) {
    world.apps = {app("Google Chrome Canary", chromeCanary), app("Google Chrome", chrome)};
    capture({chrome});
    show(chrome, "Meet - abc");
    show(chromeCanary, "Docs");
    EXPECT_FALSE(detect()) << "Canary comes first in the snapshot and shows no meeting";
    const auto lines = logLines();
    EXPECT_EQ(lines, (std::vector<std::string>{line("fallback candidate: Google Chrome" + dash + "\"Docs\"")}));
}

TEST_F(MeetingAppTest, FrontmostMatchingNothingIsExaminedInTheFallback) {
    world.apps = {app("Notes", notes), app("Firefox", 740, "org.mozilla.firefox")};
    world.processes.push_back(process(740, 1));
    world.frontmostPid = notes;
    capture({740});
    show(740, "Google Meet");
    expectResult(detect(), "Firefox", 740, "Google Meet");
    EXPECT_EQ(logLines(), (std::vector<std::string>{line("fallback candidate: Firefox" + dash + "\"Google Meet\"")}));
}

TEST_F(MeetingAppTest, BundleIdentifierMatchesWhenTheNameDoesNot) {
    world.apps = {app("Teams (work)", 750, "com.microsoft.edgemac.app")};
    world.processes.push_back(process(750, 1));
    world.frontmostPid = 750;
    capture({750});
    expectResult(detect(), "Microsoft Edge", 750, "");
}

// Processes that share a name are one application only when their bundle identifiers
// agree too: each is matched by its own.
TEST_F(MeetingAppTest, ApplicationsSharingANameAreMatchedByTheirBundleIdentifiers) {
    world.apps = {app("Helper", 760, "org.example.helper"), app("Helper", 761),
                  app("Helper", 762, "com.microsoft.edgemac.helper"), app("Helper", zoom, "us.zoom.xos")};
    for (const Pid pid : {760, 761, 762}) world.processes.push_back(process(pid, 1));
    world.frontmostPid = 760;
    capture({762});
    show(zoom, "Zoom Meeting");
    show(762, "Meet - abc");
    expectResult(detect(), "Microsoft Edge", 762, "Meet - abc");
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              line("fallback candidate: Zoom" + dash + "\"Zoom Meeting\""),
                              notUsing("Zoom"),
                              line("fallback candidate: Microsoft Edge" + dash + "\"Meet - abc\""),
                          }));
}

TEST_F(MeetingAppTest, WithoutPerProcessInformationTheFirstMatchingRowWins) {
    hasPerProcessInput = false;
    world.frontmostPid = chrome;
    expectResult(detect(), "Google Chrome", chrome, "");
    EXPECT_EQ(logLines().size(), 2u);
}

TEST_F(MeetingAppTest, NothingRunningNothingLogged) {
    world.apps.clear();
    EXPECT_FALSE(detect());
    EXPECT_EQ(sim::capturedStandardError(), "");
}

TEST_F(MeetingAppTest, WindowListIsCopiedOncePerExaminedCandidate) {
    capture({slack});
    detect();
    EXPECT_EQ(sim::windowListCopyCount(), 4u) << "Zoom twice, Chrome once, Slack once";
}

}  // namespace
}  // namespace observer::testing

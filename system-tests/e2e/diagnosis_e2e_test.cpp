// quorvel --diagnose on a private desktop: Zoom in front recording, an editor beside it.
// The document follows its contract and tells what the rules see: the recording and its
// verdict, Zoom in the catalogue and detected, the editor's title kept private.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "system-tests/e2e/observer_session.h"

namespace e2e {

using namespace testbed;
namespace {

using nlohmann::json;

class DiagnosisTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << "the private servers did not start"; }

    // quorvel --diagnose run from a shell of the desktop, as a person runs it: outside
    // the applications' trees. True once it has ended with status 0.
    bool diagnose(const std::string& options = "") {
        auto shell = session.actor("sh");
        return shell &&
               shell->command("host " + std::string(QUORVEL_PATH) + " " + documentPath() + " " + session.directory() +
                              "/diagnosis.log --diagnose " + options) &&
               shell->process.command("wait-hosted 0", std::chrono::seconds(25));
    }
    std::string documentPath() const { return session.directory() + "/diagnosis.json"; }

    ObserverSession session{SessionSetup{true, true}};
};

const json* findByPid(const json& list, pid_t pid) {
    for (const auto& entry : list)
        if (entry.value("pid", json()) == pid) return &entry;
    return nullptr;
}

TEST_F(DiagnosisTest, ShowsTheRecordingItsVerdictTheCatalogueRowAndTheAnswerAndKeepsOtherTitlesPrivate) {
    auto editor = session.actor();
    ASSERT_TRUE(editor && editor->command("window gedit Gedit salary review.txt - Text Editor"));
    auto zoom = session.actor("zoom");
    ASSERT_TRUE(zoom && zoom->command("window zoom zoom Zoom Meeting") && zoom->command("activate"));
    ASSERT_TRUE(zoom->command("record mic0"));

    ASSERT_TRUE(diagnose()) << "quorvel --diagnose did not end by itself with status 0";
    const std::string contractCheck =
        "python3 " + std::string(CONTRACTS_PATH) + " diagnosis < '" + documentPath() + "'";
    EXPECT_EQ(std::system(contractCheck.c_str()), 0) << readFile(documentPath());

    const json document = json::parse(readFile(documentPath()), nullptr, false);
    ASSERT_TRUE(document.is_object());
    EXPECT_EQ(document["backend"], "linux");
    EXPECT_EQ(document["mode"]["perProcess"], true);
    const json* recording = findByPid(document["audioProcesses"], zoom->pid);
    ASSERT_TRUE(recording) << document["audioProcesses"].dump();
    EXPECT_EQ((*recording)["runningInput"], true);
    EXPECT_EQ((*recording)["verdict"], "foreign");
    EXPECT_EQ((*recording)["command"], "zoom");
    EXPECT_TRUE((*recording)["parents"].is_array());

    const json* application = findByPid(document["runningApplications"], zoom->pid);
    ASSERT_TRUE(application);
    EXPECT_EQ((*application)["catalogue"], "Zoom");
    EXPECT_EQ(document["frontmost"]["pid"], zoom->pid);
    EXPECT_EQ(document["microphone"]["meetingMicActive"], true);
    EXPECT_EQ(document["detection"]["answer"], (json{{"app", "Zoom"}, {"pid", zoom->pid}, {"title", "Zoom Meeting"}}));

    const json* zoomWindow = findByPid(document["windows"]["onScreen"], zoom->pid);
    const json* editorWindow = findByPid(document["windows"]["onScreen"], editor->pid);
    ASSERT_TRUE(zoomWindow && editorWindow);
    EXPECT_EQ((*zoomWindow)["title"], "Zoom Meeting");
    EXPECT_FALSE(editorWindow->contains("title"));
    EXPECT_EQ((*editorWindow)["titleLength"], std::string("salary review.txt - Text Editor").size());
    EXPECT_EQ(readFile(documentPath()).find("salary"), std::string::npos);

    // Asked for, every title.
    ASSERT_TRUE(diagnose("--all-titles"));
    const json everything = json::parse(readFile(documentPath()), nullptr, false);
    ASSERT_TRUE(everything.is_object());
    EXPECT_EQ(everything["titles"], "all");
    const json* shown = findByPid(everything["windows"]["onScreen"], editor->pid);
    ASSERT_TRUE(shown);
    EXPECT_EQ((*shown)["title"], "salary review.txt - Text Editor");
}

// Servers that accept connections and never answer (stopped, as a debugger or a swapping
// machine stops them) cost the diagnosis its bounded waits, not its answer.
TEST_F(DiagnosisTest, AnswersWithinSecondsWhenTheServersStall) {
    ASSERT_GT(session.soundServerPid(), 0);
    ::kill(session.soundServerPid(), SIGSTOP);
    ::kill(session.xServerPid(), SIGSTOP);
    Launch launch;
    launch.arguments = {QUORVEL_PATH, "--diagnose"};
    launch.environment = session.environment();
    launch.output = Stream::file(documentPath());
    Child quorvel(launch);
    const auto ended = quorvel.waitForExit(std::chrono::seconds(10));
    ::kill(session.soundServerPid(), SIGCONT);
    ::kill(session.xServerPid(), SIGCONT);
    ASSERT_TRUE(ended) << "no answer within 10 s";
    EXPECT_TRUE(ended->exited && ended->status == 0);
    const json document = json::parse(readFile(documentPath()), nullptr, false);
    ASSERT_TRUE(document.is_object());
    EXPECT_EQ(document["mode"]["perProcess"], false);
    EXPECT_EQ(document["windows"]["onScreen"], nullptr);
    ASSERT_EQ(document["log"].size(), 3u) << document["log"].dump();
    EXPECT_EQ(document["log"][2], "mic detection: device-level fallback");
}

// No server at all: the document still comes, at once, and says why.
TEST(DiagnosisWithoutServersTest, SaysWhichServersCouldNotBeReached) {
    TemporaryDirectory directory;
    Launch launch;
    launch.arguments = {QUORVEL_PATH, "--diagnose"};
    launch.environment = {{"DISPLAY", ""}, {"PULSE_SERVER", "unix:" + directory.path() + "/none"}};
    launch.unsetEnvironment = {"SWAYSOCK", "WAYLAND_DISPLAY"};
    launch.output = Stream::file(directory.path() + "/diagnosis.json");
    Child quorvel(launch);
    const auto ended = quorvel.waitForExit(std::chrono::seconds(20));
    ASSERT_TRUE(ended && ended->exited && ended->status == 0);
    const json document = json::parse(readFile(directory.path() + "/diagnosis.json"), nullptr, false);
    ASSERT_TRUE(document.is_object());
    EXPECT_EQ(document["audioProcesses"], nullptr);
    EXPECT_EQ(document["windows"]["onScreen"], nullptr);
    EXPECT_EQ(document["log"], (json{"X server unreachable: DISPLAY is not set",
                                     "sound server unreachable: no sound server at unix:" + directory.path() +
                                         "/none (Connection refused)",
                                     "mic detection: device-level fallback"}));
}

}  // namespace
}  // namespace e2e

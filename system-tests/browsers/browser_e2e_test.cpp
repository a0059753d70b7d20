// quorvel with real browsers, Debian's firefox-esr and chromium, on a private desktop
// (Xvfb, openbox and either sound server): each opens a meeting page of a local web
// server that records the default microphone with getUserMedia, from a real, virtual
// device, with no fake capture. A browser that is missing fails the test: these tests
// are the evidence that meetings in real browsers are named on Linux.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "system-tests/e2e/observer_session.h"

namespace browsers {

using namespace testbed;
using namespace e2e;
namespace {

using namespace std::chrono_literals;


bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    for (std::size_t start = 0; start <= folders.size();) {
        const auto end = std::min(folders.find(':', start), folders.size());
        if (::access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// The meeting page, served from a folder of the test's by Python's web server on a free
// port. The page does what the file "ctl" says and reports each step as a request.
class MeetingPage {
public:
    explicit MeetingPage(const std::string& directory) : folder_(directory + "/www") {
        std::filesystem::create_directories(folder_);
        std::filesystem::copy_file(std::string(BROWSER_TESTS_FOLDER) + "/meet.html", folder_ + "/meet.html");
        say("idle");
        Launch launch;
        launch.arguments = {"python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder_};
        launch.output = Stream::file(directory + "/http.out");
        launch.error = Stream::file(requestLog());
        server_ = Child(launch);
        const std::string announced = "Serving HTTP on 127.0.0.1 port ";
        eventually(
            [&] {
                const std::string text = readFile(directory + "/http.out");
                const auto at = text.find(announced);
                if (at == std::string::npos) return false;
                port_ = std::atoi(text.c_str() + at + announced.size());
                return port_ > 0;
            },
            10s);
    }

    bool serving() const { return port_ > 0; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/meet.html"; }
    void say(const std::string& command) const { std::ofstream(folder_ + "/ctl") << command << "\n"; }
    // The page reported `what` (loaded, recording, stopped, failed), `times` times at least.
    bool reported(const std::string& what, std::chrono::milliseconds timeout = 30s) const {
        return eventually([&] { return readFile(requestLog()).find("GET /report?" + what + "&") != std::string::npos; },
                          timeout);
    }
    std::string reports() const { return readFile(requestLog()); }

private:
    std::string requestLog() const { return folder_ + "/../http.log"; }

    std::string folder_;
    Child server_;
    int port_ = 0;
};

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session.ready()) << "the private servers did not start";
        ASSERT_TRUE(page.serving()) << "the web server did not start";
    }

    Child firefox() {
        const std::string profile = session.directory() + "/firefox-profile";
        std::filesystem::create_directories(profile);
        std::filesystem::copy_file(std::string(BROWSER_TESTS_FOLDER) + "/firefox-user.js", profile + "/user.js");
        return browser({"firefox-esr", "--no-remote", "--new-instance", "--profile", profile, page.url()});
    }

    // Under Google Chrome's window class, as Chrome itself has it.
    Child chromium() {
        return browser({"chromium", "--user-data-dir=" + session.directory() + "/chromium-profile", "--no-sandbox",
                        "--class=google-chrome", "--no-first-run", "--no-default-browser-check",
                        "--disable-background-networking", "--disable-component-update", "--disable-sync",
                        "--disable-features=MediaRouter,OptimizationHints,Translate", "--use-fake-ui-for-media-stream",
                        "--password-store=basic", "--disable-gpu", page.url()});
    }

    e2e::ObserverSession session{e2e::SessionSetup{true, true}};
    MeetingPage page{session.directory()};

private:
    Child browser(std::vector<std::string> arguments) {
        Launch launch;
        launch.arguments = std::move(arguments);
        launch.environment = session.environment();
        launch.error = Stream::file(session.directory() + "/" + launch.arguments.front() + ".log");
        return Child(launch);
    }
};

TEST_F(BrowserTest, FirefoxInFrontOnAMeetingPageIsNamedFirefoxWithItsWindowsPidAndTitle) {
    ASSERT_TRUE(onPath("firefox-esr")) << "firefox-esr is not installed (scripts/install-dependencies.sh installs it)";
    ASSERT_TRUE(session.startObserver());
    page.say("start");
    Child browser = firefox();
    ASSERT_TRUE(page.reported("recording")) << page.reports();
    ASSERT_TRUE(session.waitForEvents(3, 10s));
    // The page's title, and Firefox's own name after an em dash.
    const std::string title = "Meet - abc-defg-hij \xE2\x80\x94 Mozilla Firefox";
    const std::string active = micActive("Firefox", browser.pid(), title);
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));

    page.say("stop");
    ASSERT_TRUE(page.reported("stopped"));
    ASSERT_TRUE(session.waitForEvents(4, 10s));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
}

// Chromium records in its audio-service process, a child of the browser's; the page
// records while another application is in front.
TEST_F(BrowserTest, ChromiumBehindAnotherWindowOnAMeetingPageIsNamedGoogleChrome) {
    ASSERT_TRUE(onPath("chromium")) << "chromium is not installed (scripts/install-dependencies.sh installs it)";
    Child browser = chromium();
    ASSERT_TRUE(page.reported("loaded")) << page.reports();
    auto editor = session.frontWindow("gedit", "Gedit", "notes.txt - Text Editor");
    ASSERT_TRUE(editor);
    ASSERT_TRUE(session.startObserver());
    page.say("start");
    ASSERT_TRUE(page.reported("recording")) << page.reports();
    ASSERT_TRUE(session.waitForEvents(3, 10s));
    const std::string active = micActive("Google Chrome", browser.pid(), "Meet - abc-defg-hij - Chromium");
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active}));

    page.say("stop");
    ASSERT_TRUE(page.reported("stopped"));
    ASSERT_TRUE(session.waitForEvents(4, 10s));
    EXPECT_EQ(session.events(), (Lines{heartbeat, perProcessMode, active, micInactive}));
}

}  // namespace
}  // namespace browsers

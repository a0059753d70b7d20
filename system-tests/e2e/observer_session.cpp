// Running quorvel under a host actor, with the desktop entries by which the catalogue's
// applications are known on Linux.
#include "system-tests/e2e/observer_session.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace e2e {

using namespace testbed;
namespace {

using namespace std::chrono_literals;

std::vector<std::string> completeLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "[HH:mm:ss.SSS] ", hours 00 to 23.
bool hasTimeStamp(const std::string& line) {
    static constexpr std::string_view shape = "[dd:dd:dd.ddd] ";
    if (line.size() < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !isDigit(line[i]) : line[i] != shape[i]) return false;
    return (line[1] - '0') * 10 + (line[2] - '0') < 24 && line[4] < '6' && line[7] < '6';
}

void writeFile(const std::string& path, const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << contents;
}

}  // namespace

std::string micActive(const std::string& app, pid_t pid, const std::string& title) {
    return R"({"event":"mic-active","app":")" + app + R"(","pid":)" + std::to_string(pid) + R"(,"title":")" + title +
           R"("})";
}

Lines zoomInFrontLog(pid_t host, pid_t zoom) {
    return {modeLine(host), "frontmost: Zoom " + dash + " \"Zoom Meeting\"",
            "mic active + dedicated app " + dash + " attributing to Zoom",
            "EMIT -> " + micActive("Zoom", zoom, "Zoom Meeting")};
}

Lines browserFoundBehindLog(pid_t host, const std::string& app, pid_t browser, const std::string& title) {
    return {modeLine(host), "fallback candidate: " + app + " " + dash + " \"" + title + "\"",
            "EMIT -> " + micActive(app, browser, title)};
}

std::string modeLine(pid_t host) {
    return "mic detection: per-process (ignoring own app, pid " + std::to_string(host) + ")";
}

ObserverSession::ObserverSession(SessionSetup setup)
    : observerHasDisplay_(setup.observerHasDisplay), observerHasSwaySocket_(setup.observerHasSwaySocket) {
    const std::string& directory = directory_.path();
    if (directory.empty()) return;
    pulseAddress_ = testbed::soundServerAddress(directory, defaultSoundStack());
    if (setup.sway) {
        if (!(sway_ = testbed::Sway::start(directory))) return;
    } else if (setup.kwin) {
        if (!(kwin_ = testbed::KWin::start(directory))) return;
    } else if (setup.gnomeShell) {
        if (!(gnomeShell_ = testbed::GnomeShell::start(directory, setup.quorvelExtension))) return;
    } else if (!(xServer_ = startXServer(directory))) {
        return;
    }
    if (setup.windowManager && xServer_ && !(windowManager_ = startWindowManager(xServer_->display, directory))) return;
    if (setup.soundServer && !startSoundServer()) return;
    // How the applications played here are installed on a Linux desktop.
    writeFile(directory + "/data/applications/us.zoom.Zoom.desktop",
              "[Desktop Entry]\nType=Application\nName=Zoom\nExec=/usr/bin/zoom %U\nStartupWMClass=zoom\n");
    writeFile(directory + "/data/applications/google-chrome.desktop",
              "[Desktop Entry]\nType=Application\nName=Google Chrome\n");
    writeFile(directory + "/data/applications/org.gnome.gedit.desktop",
              "[Desktop Entry]\nType=Application\nName=Text Editor\nStartupWMClass=Gedit\n");
    ready_ = true;
}

ObserverSession::~ObserverSession() {
    // The observer goes first, with its host, so that it never sees its servers vanish.
    host_.reset();
}

bool ObserverSession::startSoundServer() {
    soundServer_ = testbed::startSoundServer(directory_.path());
    return soundServer_ && soundServer_->address() == pulseAddress_;
}

std::vector<std::pair<std::string, std::string>> ObserverSession::environment() const {
    const std::string& directory = directory_.path();
    Environment environment = soundServerEnvironment(directory, defaultSoundStack());
    environment.insert(environment.end(), {{"HOME", directory},
                                           {"XDG_DATA_HOME", directory + "/data-home"},
                                           {"XDG_DATA_DIRS", directory + "/data"},
                                           {"TZ", "UTC"}});
    if (sway_ || kwin_ || gnomeShell_) {
        // KWin's or GNOME Shell's session bus is the desktop's, instead of the sound server's own.
        const Environment compositor =
            sway_ ? sway_->environment() : kwin_ ? kwin_->environment() : gnomeShell_->environment();
        for (const auto& [name, value] : compositor) {
            std::erase_if(environment, [&](const auto& variable) { return variable.first == name; });
            environment.emplace_back(name, value);
        }
    } else {
        environment.emplace_back("DISPLAY", xServer_->display);
    }
    return environment;
}

std::unique_ptr<Actor> ObserverSession::actor(const std::string& commandName) {
    return startActor(directory_.path(), commandName, environment());
}

std::unique_ptr<Actor> ObserverSession::frontWindow(const std::string& instance, const std::string& className,
                                                    const std::string& title) {
    auto shown = actor();
    if (!shown || !shown->command("window " + instance + " " + className + " " + title) || !shown->command("activate"))
        return nullptr;
    return shown;
}

std::unique_ptr<Actor> ObserverSession::waylandWindow(const std::string& commandName, const std::string& appId,
                                                      const std::string& title) {
    auto shown = actor(commandName);
    if (!shown || !shown->command("wayland-window " + appId + " " + title)) return nullptr;
    // GNOME Shell gives a new window the focus a moment after it is shown.
    if (gnomeShell_ && !eventually([&] { return gnomeShell_->focused() == title; }, std::chrono::seconds(5)))
        return nullptr;
    return shown;
}

bool ObserverSession::startObserver() {
    auto hostEnvironment = environment();
    for (auto& [name, value] : hostEnvironment)
        if ((name == "DISPLAY" && !observerHasDisplay_) || (name == "SWAYSOCK" && !observerHasSwaySocket_)) value.clear();
    host_ = startActor(directory_.path(), "quorvel_host", hostEnvironment);
    const std::string& directory = directory_.path();
    if (!host_ || !host_->command("host " + std::string(QUORVEL_PATH) + " " + directory + "/events " + directory + "/log"))
        return false;
    return waitForEvents(2) && waitForLog(1);
}

std::vector<std::string> ObserverSession::events() const {
    std::vector<std::string> lines;
    for (auto& line : completeLines(readFile(directory_.path() + "/events")))
        if (lines.empty() || line != R"({"event":"heartbeat"})") lines.push_back(std::move(line));
    return lines;
}

std::size_t ObserverSession::heartbeats() const {
    const auto lines = completeLines(readFile(directory_.path() + "/events"));
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), R"({"event":"heartbeat"})"));
}

std::vector<std::string> ObserverSession::log() const {
    std::vector<std::string> lines = completeLines(readFile(directory_.path() + "/log"));
    for (auto& line : lines)
        if (hasTimeStamp(line)) line.erase(0, std::string_view("[HH:mm:ss.SSS] ").size());
    return lines;
}

bool ObserverSession::logHas(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool ObserverSession::restartCompositor() {
    if (sway_) return sway_->restart();
    if (kwin_) return kwin_->restart();
    return gnomeShell_ && gnomeShell_->restart();
}

bool ObserverSession::waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
    return eventually([&] { return events().size() >= count; }, timeout);
}

bool ObserverSession::waitForLog(std::size_t count, std::chrono::milliseconds timeout) const {
    return eventually([&] { return log().size() >= count; }, timeout);
}

void ObserverSession::letTicksPass(int ticks) const {
    ::usleep(static_cast<useconds_t>(ticks) * 1'000'000 + 200'000);
}

}  // namespace e2e

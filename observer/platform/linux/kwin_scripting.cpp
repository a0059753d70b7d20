// The script is loaded under a plugin name of this process's own, after unloading any
// script of that name that an earlier connection left, and started; its file is removed
// once KWin has read it (its first report is in) or the connection gave up.
#include "observer/platform/linux/kwin_scripting.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "observer/platform/linux/kwin_script.h"
#include "observer/platform/linux/reporting_compositor.h"

namespace observer::platform::kwin {
namespace {

constexpr const char* kwinName = "org.kde.KWin";

int onReport(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& kwin = *static_cast<reporting::ReportingCompositor*>(data);
    if (!sd_bus_message_is_method_call(message, reportInterface, reportMethod)) return 0;
    if (!kwin.fromReporter(message))
        return bus::answered(
            sd_bus_reply_method_errorf(message, SD_BUS_ERROR_ACCESS_DENIED, "only KWin reports its windows"));
    const char* document = nullptr;
    if (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &document) > 0 && document != nullptr)
        kwin.received(document);
    return bus::answered(sd_bus_reply_method_return(message, ""));
}

bool findKWin(reporting::ReportingCompositor& kwin, bus::Clock::time_point deadline, std::string& failure) {
    if (!kwin.bus().onCallsTo(reportPath, onReport, &kwin)) {
        failure = "the session bus refused our requests";
        return false;
    }
    const auto owner = kwin.bus().ownerOf(kwinName, deadline, failure);
    if (owner) kwin.trustReportsFrom(*owner);
    return owner.has_value();
}

// A file of the script that KWin can read, in the runtime directory where there is one.
std::string writeScript(const std::string& text) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string path = std::string(runtime != nullptr && *runtime != '\0' ? runtime : "/tmp") + "/quorvel-kwin-XXXXXX.js";
    const int file = ::mkstemps(path.data(), 3);
    if (file < 0) return "";
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t wrote = ::write(file, text.data() + written, text.size() - written);
        if (wrote <= 0) break;
        written += static_cast<std::size_t>(wrote);
    }
    ::close(file);
    if (written == text.size()) return path;
    ::unlink(path.c_str());
    return "";
}

bus::Call scripting(const char* member, std::function<bool(sd_bus_message*)> arguments = {}) {
    return {kwinName, "/Scripting", "org.kde.kwin.Scripting", member, std::move(arguments)};
}

// Loaded, started and reported once: false with why otherwise.
bool loadScript(reporting::ReportingCompositor& kwin, bus::Clock::time_point deadline, std::string& failure) {
    const std::string pluginName = "quorvel-" + std::to_string(::getpid());
    const std::string file = writeScript(scriptSource(kwin.bus().uniqueName(), pluginName));
    if (file.empty()) {
        failure = "cannot write the script for KWin (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    const auto named = [&](sd_bus_message* m) { return sd_bus_message_append(m, "s", pluginName.c_str()) >= 0; };
    kwin.bus().send(scripting("unloadScript", named));
    const bus::Answer loaded = kwin.bus().call(scripting("loadScript", [&](sd_bus_message* m) {
        return sd_bus_message_append(m, "ss", file.c_str(), pluginName.c_str()) >= 0;
    }), deadline);
    if (loaded.succeeded() && loaded.number >= 0 && kwin.bus().send(scripting("start")))
        kwin.bus().waitUntil(deadline, [&] { return kwin.anyReceived(); });
    ::unlink(file.c_str());
    if (!loaded.answered) {
        failure = "KWin did not answer in time";
    } else if (!loaded.succeeded() || loaded.number < 0) {
        failure = "KWin did not load the script" + (loaded.failure.empty() ? "" : " (" + loaded.failure + ")");
    } else if (!kwin.hasView()) {
        failure = "no window report from KWin's script in time";
    } else {
        return true;
    }
    return false;
}

reporting::ReportingCompositor& source() {
    static reporting::ReportingCompositor kwin({reachability::Server::kwin, kwinName, kwinName, findKWin, loadScript});
    return kwin;
}

}  // namespace

bool sessionHasKWin() {
    return source().present();
}

const compositor::View* currentView() {
    return source().currentView();
}

void takeInArrived() {
    source().takeInArrived();
}

}  // namespace observer::platform::kwin

// The first report is asked for with a call after subscribing to the extension's signal,
// so that no change after the answer goes unseen; a signal that overtakes the answer
// replaces it, being newer.
#include "observer/platform/linux/gnome_shell_windows.h"

#include <string>

#include "observer/platform/linux/reporting_compositor.h"

namespace observer::platform::gnome_shell {
namespace {

constexpr const char* extensionName = "org.quorvel.ShellWindows";
constexpr const char* extensionPath = "/org/quorvel/ShellWindows";
constexpr const char* extensionInterface = "org.quorvel.ShellWindows";

int onChanged(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& shell = *static_cast<reporting::ReportingCompositor*>(data);
    const char* document = nullptr;
    if (shell.fromReporter(message) && sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &document) > 0 &&
        document != nullptr)
        shell.received(document);
    return 0;
}

bool findExtension(reporting::ReportingCompositor& shell, bus::Clock::time_point deadline, std::string& failure) {
    if (!shell.bus().onSignal(extensionPath, extensionInterface, "Changed", onChanged, &shell)) {
        failure = "the session bus refused our requests";
        return false;
    }
    const auto owner = shell.bus().ownerOf(extensionName, deadline, failure);
    if (!owner) {
        failure = "quorvel's extension is not running in it (" + failure + ")";
        return false;
    }
    shell.trustReportsFrom(*owner);
    return true;
}

bool askForWindows(reporting::ReportingCompositor& shell, bus::Clock::time_point deadline, std::string& failure) {
    const bus::Answer report = shell.bus().call({extensionName, extensionPath, extensionInterface, "Report"}, deadline,
                                                [&] { return shell.anyReceived(); });
    if (report.succeeded()) shell.received(report.text);
    if (shell.hasView()) return true;
    failure = report.answered ? "quorvel's extension sent no window report (" + report.failure + ")"
                              : "quorvel's extension did not answer in time";
    return false;
}

// GNOME Shell without the extension is no source: its session has XWayland's windows over
// DISPLAY, as before.
reporting::ReportingCompositor& source() {
    static reporting::ReportingCompositor shell(
        {reachability::Server::gnomeShell, "org.gnome.Shell", extensionName, findExtension, askForWindows, false});
    return shell;
}

}  // namespace

bool sessionHasExtension() {
    return source().present();
}

const compositor::View* currentView() {
    return source().currentView();
}

void takeInArrived() {
    source().takeInArrived();
}

}  // namespace observer::platform::gnome_shell

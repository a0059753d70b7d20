// A compositor that reports its windows over the session bus through code of quorvel's
// inside it (KWin's script, GNOME Shell's extension): the connection, the reports taken in
// from the one connection that may send them, and the same deadlines, reconnections and
// log lines as the other servers' mirrors. Each compositor says in its `Steps` how its
// reporter is found and how the first report is had.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "observer/platform/linux/compositor_windows.h"
#include "observer/platform/linux/mirror_reads.h"
#include "observer/platform/linux/server_reachability.h"
#include "observer/platform/linux/session_bus.h"
#include "observer/platform/linux/window_report.h"

namespace observer::platform::reporting {

class ReportingCompositor;
using Step = std::function<bool(ReportingCompositor&, bus::Clock::time_point, std::string&)>;

struct Steps {
    reachability::Server server;
    // The compositor's own name on the bus: a Wayland session where it has an owner is the
    // compositor's.
    const char* compositorName;
    // The name whose owner reports; the view is dropped when it changes hands.
    const char* reporterName;
    // On a new connection: sets up what receives the reports and finds the reporter
    // (`trustReportsFrom`); false with why.
    Step find;
    // The first report in, from the reporter found: false with why.
    Step build;
    // Whether a compositor that cannot report is still the session's only window source,
    // or is left to the X server.
    bool presentWithoutReports = true;
};

class ReportingCompositor {
public:
    explicit ReportingCompositor(Steps steps) : steps_(std::move(steps)) {}

    // Decided at the first call, for the whole run, with the first connection's patience;
    // a compositor found that cannot report says why in the log.
    bool present();
    // Nothing while the compositor cannot be reached. Valid until the next call.
    const compositor::View* currentView();
    void takeInArrived();

    // For the steps.
    bus::SessionBus& bus() { return *connection_; }
    void trustReportsFrom(std::string uniqueName) { reporter_ = std::move(uniqueName); }
    bool fromReporter(sd_bus_message* message) const;
    void received(std::string document) { reported_.received(std::move(document)); }
    bool anyReceived() const { return reported_.anyReceived(); }
    bool hasView() { return reported_.view() != nullptr; }

private:
    friend struct Mirror;
    static int onReporterChanged(sd_bus_message*, void* self, sd_bus_error*);
    bool findAndBuild(bus::Clock::time_point deadline, std::string& failure);
    bool built(bool succeeded, const std::string& failure);
    bool connectAndBuild();
    void drop();

    Steps steps_;
    servers::MirrorReads reads_{std::chrono::milliseconds{2000}, std::chrono::milliseconds{250}};
    std::optional<bool> present_;
    std::unique_ptr<bus::SessionBus> connection_;
    std::string reporter_;
    window_report::ReportedWindows reported_;
    // The reporter's name changed hands: the view is of a reporter that is gone.
    bool reporterLeft_ = false;
};

}  // namespace observer::platform::reporting

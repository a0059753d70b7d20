#include "observer/platform/linux/reporting_compositor.h"

#include <cstdlib>

namespace observer::platform::reporting {
namespace {

bool waylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return display != nullptr && *display != '\0';
}

}  // namespace

struct Mirror {
    ReportingCompositor& source;
    bool ensure() {
        if (source.connection_ && source.reported_.view() != nullptr) return true;
        if (!source.reads_.connectionAttemptDue()) return false;
        const bool connected = source.connectAndBuild();
        source.reads_.noteConnectionAttempt(connected);
        return connected;
    }
    bool awaitingAnswers() const { return false; }
    void takeInArrived() {
        if (!source.connection_->takeInArrived()) source.reporterLeft_ = true;
    }
    bool healthy() const { return source.connection_ && !source.reporterLeft_; }
    void lose() {
        reachability::lost(source.steps_.server);
        source.drop();
    }
};

int ReportingCompositor::onReporterChanged(sd_bus_message*, void* self, sd_bus_error*) {
    static_cast<ReportingCompositor*>(self)->reporterLeft_ = true;
    return 0;
}

bool ReportingCompositor::fromReporter(sd_bus_message* message) const {
    const char* sender = sd_bus_message_get_sender(message);
    return sender != nullptr && !reporter_.empty() && reporter_ == sender;
}

bool ReportingCompositor::findAndBuild(bus::Clock::time_point deadline, std::string& failure) {
    if (!connection_->onOwnerChange(steps_.reporterName, onReporterChanged, this)) {
        failure = "the session bus refused our requests";
        return false;
    }
    return steps_.find(*this, deadline, failure) && steps_.build(*this, deadline, failure);
}

bool ReportingCompositor::built(bool succeeded, const std::string& failure) {
    if (!succeeded) {
        reachability::unreachable(steps_.server, failure);
        drop();
        return false;
    }
    reachability::reached(steps_.server);
    return true;
}

bool ReportingCompositor::connectAndBuild() {
    const bus::Clock::time_point deadline = bus::Clock::now() + reads_.nextConnectionPatience();
    std::string failure;
    connection_ = bus::SessionBus::connect(deadline, failure);
    return built(connection_ && findAndBuild(deadline, failure), failure);
}

void ReportingCompositor::drop() {
    connection_.reset();
    reporter_.clear();
    reported_.forget();
    reporterLeft_ = false;
    reads_.forgetReads();
}

bool ReportingCompositor::present() {
    if (present_) return *present_;
    present_ = false;
    const bus::Clock::time_point deadline = bus::Clock::now() + reads_.nextConnectionPatience();
    std::string failure;
    if (waylandSession()) connection_ = bus::SessionBus::connect(deadline, failure);
    if (!connection_ || !connection_->ownerOf(steps_.compositorName, deadline, failure)) {
        drop();
        return false;
    }
    const bool reporting = findAndBuild(deadline, failure);
    reads_.noteConnectionAttempt(built(reporting, failure));
    present_ = reporting || steps_.presentWithoutReports;
    return *present_;
}

const compositor::View* ReportingCompositor::currentView() {
    Mirror mirror{*this};
    if (!reads_.refresh(true, mirror)) return nullptr;
    return reported_.view();
}

void ReportingCompositor::takeInArrived() {
    if (!connection_) return;
    reads_.noteRead();
    if (!connection_->takeInArrived() || reporterLeft_) {
        reachability::lost(steps_.server);
        drop();
    }
}

}  // namespace observer::platform::reporting

// Process relationship rules over the process table.
#include "observer/process/process_rules.h"

#include "observer/platform/process_control.h"
#include "observer/process/process_info.h"

namespace observer {
namespace {

// Safari's web content runs in processes that the browser does not start itself.
constexpr std::string_view safariLabel = "Safari";
constexpr std::string_view webKitProcessPrefix = "com.apple.WebKi";

}  // namespace

bool isDescendant(Pid pid, Pid of) {
    const Pid ancestor = of;
    if (ancestor <= 1) return false;
    Pid current = pid;
    for (int step = 0; step < parentWalkLimit; ++step) {
        if (current == ancestor) return true;
        if (current <= 1) return false;
        const auto parent = parentPID(current);
        if (!parent || *parent == current) return false;
        current = *parent;
    }
    return false;
}

bool isOwnProcess(Pid pid) {
    if (pid == platform::currentProcessId()) return true;
    return isDescendant(pid, ownAppPID);
}

bool isNonMeetingInputService(Pid pid) {
    const auto name = processName(pid);
    return name && nonMeetingInputServices.contains(*name);
}

bool belongsToApp(Pid pid, Pid appPID, std::string_view label) {
    if (isDescendant(pid, appPID)) return true;
    if (label != safariLabel) return false;
    const auto name = processName(pid);
    return name && name->starts_with(webKitProcessPrefix);
}

}  // namespace observer

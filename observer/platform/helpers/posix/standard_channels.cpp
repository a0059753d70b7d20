// The standard streams' channels, what a closed standard output means for the process,
// and the observer's log frame for the platform's own lines.
#include "observer/platform/helpers/posix/standard_channels.h"

#include <unistd.h>


namespace observer::platform::posix {
namespace {

LogFrame logFrame = nullptr;

}  // namespace

void setLogFrame(LogFrame frame) {
    logFrame = frame;
}


std::string framedMessage(std::string_view message) {
    if (logFrame != nullptr) return logFrame(message);
    std::string line(message);
    line += '\n';
    return line;
}

EventChannel& standardOutputChannel() {
    static EventChannel channel(STDOUT_FILENO, eventQueueBound, [] {
        standardErrorChannel().write(framedMessage("standard output closed \xE2\x80\x94 exiting"));
        ::_exit(0);
    });
    return channel;
}

DiagnosticChannel& standardErrorChannel() {
    static DiagnosticChannel channel(STDERR_FILENO, framedMessage);
    return channel;
}

}  // namespace observer::platform::posix

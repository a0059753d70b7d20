// The standard streams' waiting output, watched from the run loop.
#include "observer/platform/helpers/posix/output_polling.h"

#include <algorithm>
#include <vector>

#include "observer/platform/helpers/posix/standard_channels.h"

namespace observer::platform::posix {

WaitingOutput waitingOutput() {
    return {standardOutputChannel().hasPending(), standardErrorChannel().hasPending()};
}

void flushWaitingOutput() {
    standardOutputChannel().flush();
    standardErrorChannel().flush();
}

int pollWithOutput(pollfd* extra, int extraCount, int timeoutMilliseconds) {
    EventChannel& events = standardOutputChannel();
    DiagnosticChannel& log = standardErrorChannel();
    std::vector<pollfd> watched(extra, extra + extraCount);
    // Standard output is always watched, so that a reader closing it ends the process at
    // once; POLLOUT only while lines wait, or poll would never sleep.
    const std::size_t eventsAt = watched.size();
    watched.push_back({events.fd(), static_cast<short>(events.hasPending() ? POLLOUT : 0), 0});
    const std::size_t logAt = watched.size();
    if (log.hasPending()) watched.push_back({log.fd(), POLLOUT, 0});

    const int ready = ::poll(watched.data(), static_cast<nfds_t>(watched.size()), timeoutMilliseconds);
    std::copy(watched.begin(), watched.begin() + extraCount, extra);
    if (ready <= 0) return ready;
    if (watched[eventsAt].revents != 0) events.flush();
    // The reader closed the pipe while nothing waited.
    if ((watched[eventsAt].revents & (POLLERR | POLLHUP)) != 0) events.closedByReader();
    if (logAt < watched.size() && watched[logAt].revents != 0) log.flush();
    return ready;
}

}  // namespace observer::platform::posix

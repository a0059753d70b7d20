// Writing the standard streams without waiting for their readers.
#include "observer/platform/posix/output_channels.h"

#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "observer/platform/local_time.h"

namespace observer::platform::posix {
namespace {

enum class StreamKind { file, pipeOrTerminal, socket };

StreamKind kindOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return StreamKind::file;
    if (S_ISSOCK(status.st_mode)) return StreamKind::socket;
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) return StreamKind::pipeOrTerminal;
    return StreamKind::file;
}

// Null (/dev/null) and other character devices are asked like terminals: poll answers
// writable at once for them.
bool readyForWriting(int fd, bool& closed) {
    pollfd watched{fd, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return true;  // let the write itself report the problem
    if ((watched.revents & (POLLERR | POLLHUP)) != 0) {
        closed = true;
        return false;
    }
    return (watched.revents & POLLOUT) != 0;
}

}  // namespace

WriteResult writeWithoutWaiting(int fd, std::string_view bytes) {
    WriteResult result;
    const StreamKind kind = kindOf(fd);
    while (result.written < bytes.size()) {
        const std::string_view rest = bytes.substr(result.written);
        ssize_t got = 0;
        if (kind == StreamKind::socket) {
            int flags = MSG_DONTWAIT;
#ifdef MSG_NOSIGNAL
            flags |= MSG_NOSIGNAL;
#endif
            got = ::send(fd, rest.data(), rest.size(), flags);
        } else {
            std::size_t size = rest.size();
            if (kind == StreamKind::pipeOrTerminal) {
                if (!readyForWriting(fd, result.closed)) return result;
                size = std::min<std::size_t>(size, PIPE_BUF);
            }
            got = ::write(fd, rest.data(), size);
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            // EAGAIN: someone else made the description non-blocking; try again later.
            // Other errors (a full disk, say) lose what could not be written.
            if (errno == EPIPE) result.closed = true;
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EPIPE) result.written = bytes.size();
            return result;
        }
        if (got == 0) return result;
        result.written += static_cast<std::size_t>(got);
    }
    return result;
}

EventChannel::EventChannel(int fd, std::size_t bound, std::function<void()> onClosed)
    : fd_(fd), bound_(bound), onClosed_(std::move(onClosed)) {}

bool EventChannel::write(std::string_view line) {
    if (!queue_.empty()) {
        flush();
        if (!queue_.empty() && pendingBytes() + line.size() > bound_) return false;
    }
    if (queue_.empty()) {
        const WriteResult result = writeWithoutWaiting(fd_, line);
        if (result.closed) {
            onClosed_();
            return true;
        }
        if (result.written == line.size()) return true;
        queue_.emplace_back(line);
        offset_ = result.written;
        queuedBytes_ = line.size();
        outputIsWaiting(fd_);
        return true;
    }
    queue_.emplace_back(line);
    queuedBytes_ += line.size();
    outputIsWaiting(fd_);
    return true;
}

void EventChannel::flush() {
    while (!queue_.empty()) {
        const std::string& front = queue_.front();
        const WriteResult result = writeWithoutWaiting(fd_, std::string_view(front).substr(offset_));
        if (result.closed) {
            onClosed_();
            return;
        }
        offset_ += result.written;
        if (offset_ < front.size()) {
            outputIsWaiting(fd_);
            return;
        }
        queuedBytes_ -= front.size();
        offset_ = 0;
        queue_.pop_front();
    }
}

void EventChannel::waitAndFlush(int milliseconds) {
    pollfd watched{fd_, POLLOUT, 0};
    if (::poll(&watched, 1, milliseconds) > 0) flush();
}

DiagnosticChannel::DiagnosticChannel(int fd, std::function<std::string(std::string_view)> frame)
    : fd_(fd), frame_(std::move(frame)) {}

bool DiagnosticChannel::start(std::string_view line) {
    const WriteResult result = writeWithoutWaiting(fd_, line);
    if (result.closed) {
        closed_ = true;
        tail_.clear();
        return false;
    }
    if (result.written == 0) return false;
    if (result.written < line.size()) tail_.assign(line.substr(result.written));
    return true;
}

void DiagnosticChannel::flush() {
    flushNow();
    if (hasPending()) outputIsWaiting(fd_);
}

void DiagnosticChannel::flushNow() {
    if (closed_) return;
    if (!tail_.empty()) {
        std::string rest = std::exchange(tail_, {});
        if (!start(rest) && !closed_) tail_ = std::move(rest);
        if (!tail_.empty() || closed_) return;
    }
    if (dropped_ > 0 && start(frame_(std::to_string(dropped_) + " diagnostic lines dropped"))) dropped_ = 0;
}

void DiagnosticChannel::write(std::string_view line) {
    if (closed_) return;
    flushNow();
    if (closed_) return;
    if (!tail_.empty() || dropped_ > 0 || !start(line)) {
        if (!closed_) ++dropped_;
    }
    if (hasPending()) outputIsWaiting(fd_);
}

namespace {

// A log line in the usual frame. Built by appending: GCC 12 at -O3 reports a false overlap
// for a literal + a temporary string.
std::string diagnosticLine(std::string_view message) {
    std::string line = "[";
    line += localTimeOfDay();
    line += "] ";
    line += message;
    line += '\n';
    return line;
}

}  // namespace

EventChannel& standardOutputChannel() {
    static EventChannel channel(STDOUT_FILENO, eventQueueBound, [] {
        standardErrorChannel().write(diagnosticLine("standard output closed \xE2\x80\x94 exiting"));
        ::_exit(0);
    });
    return channel;
}

DiagnosticChannel& standardErrorChannel() {
    static DiagnosticChannel channel(STDERR_FILENO, diagnosticLine);
    return channel;
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

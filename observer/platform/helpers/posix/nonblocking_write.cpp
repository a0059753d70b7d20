// Writes that ask the stream first, by the kind of file behind the descriptor.
#include "observer/platform/helpers/posix/nonblocking_write.h"

#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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
// writable at once for them on Linux.
bool readyForWriting(int fd, bool& closed) {
    pollfd watched{fd, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return writableByPollAnswer(ready, watched.revents, closed);
}

}  // namespace

bool writableByPollAnswer(int ready, short revents, bool& closed) {
    // poll failed, or cannot watch this descriptor (macOS answers POLLNVAL for devices
    // such as /dev/null): the write itself reports what fails.
    if (ready < 0 || (revents & POLLNVAL) != 0) return true;
    if ((revents & (POLLERR | POLLHUP)) != 0) {
        closed = true;
        return false;
    }
    return (revents & POLLOUT) != 0;
}

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

}  // namespace observer::platform::posix

// One write to a standard stream that never waits for its reader.
//
// The host application may leave either pipe unread for a while, or close it. A tick must
// go on regardless, so every write first asks poll() whether the stream can take bytes at
// this moment and writes only then, at most PIPE_BUF bytes at a time to a pipe or a
// terminal (which a pipe takes whole once poll has answered writable), or sends with
// MSG_DONTWAIT to a socket.
//
// O_NONBLOCK is deliberately never set: it belongs to the open file description, which
// quorvel may share with its host (an inherited pipe end or the host's own standard
// output) or with a shell (a terminal), and every other program writing through it would
// suddenly get EAGAIN. Asking poll() first changes nothing for anyone else. A write can
// still wait when another process fills the same pipe between the poll and the write, or
// on a terminal whose output is stopped (Ctrl-S): a person's terminal, not a host's pipe.
#pragma once

#include <cstddef>
#include <string_view>

namespace observer::platform::posix {

// What one attempt to write to a stream achieved.
struct WriteResult {
    std::size_t written = 0;
    bool closed = false;  // the reader is gone (EPIPE, or poll reported an error or hang-up)
};

// Writes as much of `bytes` to `fd` as it takes without waiting.
WriteResult writeWithoutWaiting(int fd, std::string_view bytes);

// What poll's answer for one descriptor asked for POLLOUT (its return value and the
// descriptor's revents) means for a write: go ahead, wait, or (setting `closed`) the
// reader is gone. A descriptor that poll cannot watch counts as writable.
bool writableByPollAnswer(int ready, short revents, bool& closed);

}  // namespace observer::platform::posix

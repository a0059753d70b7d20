// Standard output and standard error written so that no write ever waits for a reader.
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
//
// Events are never dropped: a line that cannot go out at once waits, in order, in a
// queue of at most `eventQueueBound` bytes, which the run loop flushes when the stream
// becomes writable. A diagnostic line that cannot be written at once is dropped and
// counted; when the log can take bytes again, "N diagnostic lines dropped" goes first. A
// line that has been started (one longer than PIPE_BUF) is always finished before any
// other. When standard output is closed the process ends with status 0, after one log
// line; when standard error is closed the log is dropped for good.
#pragma once

#include <poll.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace observer::platform::posix {

inline constexpr std::size_t eventQueueBound = 1024 * 1024;

// What one attempt to write to a stream achieved.
struct WriteResult {
    std::size_t written = 0;
    bool closed = false;  // the reader is gone (EPIPE, or poll reported an error or hang-up)
};

// Writes as much of `bytes` to `fd` as it takes without waiting.
WriteResult writeWithoutWaiting(int fd, std::string_view bytes);

class EventChannel {
public:
    EventChannel(int fd, std::size_t bound, std::function<void()> onClosed);

    // Writes the line or queues what is left of it; false, and nothing queued, when the
    // queue is full.
    bool write(std::string_view line);
    // Writes as much of the queue as the stream takes now.
    void flush();
    // Waits up to `milliseconds` for the stream to take bytes and flushes the queue.
    void waitAndFlush(int milliseconds);
    // Poll reported the stream closed while nothing was being written.
    void closedByReader() { onClosed_(); }
    bool hasPending() const { return !queue_.empty(); }
    std::size_t pendingBytes() const { return queuedBytes_ - offset_; }
    int fd() const { return fd_; }

private:
    int fd_;
    std::size_t bound_;
    std::function<void()> onClosed_;
    std::deque<std::string> queue_;
    std::size_t offset_ = 0;  // bytes of the front line already written
    std::size_t queuedBytes_ = 0;
};

class DiagnosticChannel {
public:
    // `frame` turns a message into a whole log line (time stamp and "\n").
    DiagnosticChannel(int fd, std::function<std::string(std::string_view message)> frame);

    void write(std::string_view line);
    // Finishes a started line, then writes the count of dropped lines, as far as the
    // stream takes them now.
    void flush();
    bool hasPending() const { return !closed_ && (!tail_.empty() || dropped_ > 0); }
    bool closed() const { return closed_; }
    int fd() const { return fd_; }

private:
    // Writes what it can of `line`; the rest becomes the tail. False when nothing went.
    bool start(std::string_view line);
    void flushNow();

    int fd_;
    std::function<std::string(std::string_view)> frame_;
    std::string tail_;
    std::size_t dropped_ = 0;
    bool closed_ = false;
};

// The process's own channels on descriptors 1 and 2. Closing standard output ends the
// process with status 0 after the log line "standard output closed — exiting".
EventChannel& standardOutputChannel();
DiagnosticChannel& standardErrorChannel();

// Writes what waits on both standard streams, as far as they take it now.
void flushWaitingOutput();

// Called whenever output is left waiting for `fd` to become writable. Each backend defines
// it: a run loop that polls through `pollWithOutput` needs no notice (Linux, simulated:
// polled_output.cpp); one that does not must call `flushWaitingOutput` once `fd` is
// writable (macOS).
void outputIsWaiting(int fd);

// Polls the extra descriptors together with the standard streams that have output
// waiting (and standard output for being closed), up to `timeoutMilliseconds` (-1: no
// limit), and flushes whichever stream became writable. Answers poll's result.
int pollWithOutput(pollfd* extra, int extraCount, int timeoutMilliseconds);

}  // namespace observer::platform::posix

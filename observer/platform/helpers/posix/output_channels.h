// The two kinds of output channel: one for events, which are never dropped, and one for
// diagnostic lines, which are dropped rather than waited for. Both write through
// writeWithoutWaiting, so that no write ever waits for a reader.
//
// Events never get lost: a line that cannot go out at once waits, in order, in a queue of
// at most `bound` bytes, which the run loop flushes when the stream becomes writable. A
// diagnostic line that cannot be written at once is dropped and counted; when the log can
// take bytes again, "N diagnostic lines dropped" goes first. A line that has been started
// (one longer than PIPE_BUF) is always finished before any other.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace observer::platform::posix {

inline constexpr std::size_t eventQueueBound = 1024 * 1024;

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

    int fd_;
    std::function<std::string(std::string_view)> frame_;
    std::string tail_;
    std::size_t dropped_ = 0;
    bool closed_ = false;
};

}  // namespace observer::platform::posix

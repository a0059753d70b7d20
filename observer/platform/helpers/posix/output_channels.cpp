// The event and diagnostic channels: what waits, what is dropped, and in which order
// things go out.
#include "observer/platform/helpers/posix/output_channels.h"

#include <poll.h>

#include <utility>

#include "observer/platform/helpers/posix/nonblocking_write.h"

namespace observer::platform::posix {

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
        return true;
    }
    queue_.emplace_back(line);
    queuedBytes_ += line.size();
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
        if (offset_ < front.size()) return;
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
    flush();
    if (closed_) return;
    if (!tail_.empty() || dropped_ > 0 || !start(line)) {
        if (!closed_) ++dropped_;
    }
}

}  // namespace observer::platform::posix

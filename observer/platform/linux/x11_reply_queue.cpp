// Answers collected without blocking: xcb_poll_for_reply hands over an answer that has
// arrived and never waits for one that has not.
#include "observer/platform/linux/x11_reply_queue.h"

#include <poll.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace observer::platform::x11 {

void ReplyQueue::expect(unsigned int sequence, Clock::time_point deadline, Apply apply) {
    pending_.push_back({sequence, deadline, std::move(apply)});
}

bool ReplyQueue::applyArrived(xcb_connection_t* connection, std::optional<std::uint16_t> last) {
    bool applied = false;
    while (!pending_.empty()) {
        const auto sequence = static_cast<std::uint16_t>(pending_.front().sequence);
        // Sequence numbers wrap at 16 bits in events: compare them as distances.
        if (last && static_cast<std::int16_t>(static_cast<std::uint16_t>(*last - sequence)) < 0) break;
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, pending_.front().sequence, &reply, &error) == 0) break;
        const Pending answered = std::move(pending_.front());
        pending_.pop_front();
        answered.apply(reply);
        std::free(reply);
        std::free(error);
        applied = true;
    }
    return applied;
}

bool ReplyQueue::awaiting() const {
    const auto now = Clock::now();
    return std::any_of(pending_.begin(), pending_.end(), [&](const Pending& request) { return request.deadline > now; });
}

ReplyQueue::Clock::time_point ReplyQueue::lastDeadline() const {
    Clock::time_point last = Clock::now();
    for (const auto& request : pending_) last = std::max(last, request.deadline);
    return last;
}

bool waitForServer(xcb_connection_t* connection, ReplyQueue::Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ReplyQueue::Clock::now()).count() + 1;
    pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
    return ::poll(&descriptor, 1, static_cast<int>(std::max<long long>(left, 0))) >= 0;
}

}  // namespace observer::platform::x11

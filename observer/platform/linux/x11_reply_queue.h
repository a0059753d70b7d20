// The X requests whose answers are awaited, in the order they were sent, each awaited no
// longer than a deadline of its own, so that a server that stalls costs one bounded wait
// and never one per call. Knows nothing of what the answers are for: each request carries
// what to do with its answer.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace observer::platform::x11 {

class ReplyQueue {
public:
    using Clock = std::chrono::steady_clock;
    // Called with the reply, or with nothing when the request failed.
    using Apply = std::function<void(void* reply)>;

    void expect(unsigned int sequence, Clock::time_point deadline, Apply apply);
    // Applies the answers that have arrived, in order, up to and including the one to
    // request `last` when it is given. True when it applied any.
    bool applyArrived(xcb_connection_t* connection, std::optional<std::uint16_t> last);
    // Whether an answer is awaited whose deadline has not passed.
    bool awaiting() const;
    // The latest deadline of the awaited answers, or now.
    Clock::time_point lastDeadline() const;

    bool empty() const { return pending_.empty(); }
    void clear() { pending_.clear(); }

private:
    struct Pending {
        unsigned int sequence;
        Clock::time_point deadline;
        Apply apply;
    };
    std::deque<Pending> pending_;
};

// Waits until the server has sent something or `deadline` has passed; false when the
// connection's descriptor cannot be watched.
bool waitForServer(xcb_connection_t* connection, ReplyQueue::Clock::time_point deadline);

}  // namespace observer::platform::x11

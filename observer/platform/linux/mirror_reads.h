// How the Linux backend reads the mirror it keeps of a server, the same for the sound
// server and the X server:
// - the first connection may wait for a slow server far longer than any later one: it
//   decides quorvel's mode for the whole run, while a later one must fit in a tick;
// - a call takes in what the server has sent, except that the questions about single
//   objects that follow a list share a read made in the last few milliseconds, so that
//   they see the state the list came from and cost no system call each;
// - a connection found broken is dropped and connected to once more in the same call:
//   the server may have come back in the meantime and still deserves an answer;
// - a server that could not be reached is tried again no sooner than half a second
//   later: one that accepts connections but does not answer would otherwise cost a whole
//   connection patience on each of a tick's calls.
#pragma once

#include <chrono>
#include <optional>

namespace observer::platform::servers {

class MirrorReads {
public:
    MirrorReads(std::chrono::milliseconds firstConnectionPatience, std::chrono::milliseconds connectionPatience)
        : firstConnectionPatience_(firstConnectionPatience), connectionPatience_(connectionPatience) {}

    // How long the next connection attempt may wait for the server.
    std::chrono::milliseconds nextConnectionPatience() {
        const bool first = firstConnection_;
        firstConnection_ = false;
        return first ? firstConnectionPatience_ : connectionPatience_;
    }

    // Whether this call must take in what has arrived; it may share the last read when
    // asked to, unless answers are still awaited.
    bool readIsDue(bool shareRecentRead, bool answersAwaited) {
        const auto now = std::chrono::steady_clock::now();
        if (shareRecentRead && now - lastRead_ < sharing && !answersAwaited) return false;
        lastRead_ = now;
        return true;
    }
    void noteRead() { lastRead_ = std::chrono::steady_clock::now(); }

    bool connectionAttemptDue() const {
        return !lastFailedAttempt_ || std::chrono::steady_clock::now() - *lastFailedAttempt_ >= retryPause;
    }
    void noteConnectionAttempt(bool succeeded) {
        if (succeeded) {
            lastFailedAttempt_.reset();
        } else {
            lastFailedAttempt_ = std::chrono::steady_clock::now();
        }
    }
    // A dropped mirror shares nothing.
    void forgetReads() { lastRead_ = {}; }

    // Brings the mirror up to date for one call and answers whether it can be read.
    // `Connection` offers: bool ensure() (connects and builds the mirror when needed),
    // bool awaitingAnswers(), void takeInArrived() (reads and waits for what is awaited,
    // each answer no longer than its own deadline), bool healthy() and void lose().
    template <typename Connection>
    bool refresh(bool shareRecentRead, Connection& connection) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!connection.ensure()) return false;
            if (readIsDue(shareRecentRead, connection.awaitingAnswers())) connection.takeInArrived();
            if (connection.healthy()) return true;
            connection.lose();
        }
        return false;
    }

private:
    static constexpr std::chrono::milliseconds sharing{10};
    static constexpr std::chrono::milliseconds retryPause{500};

    std::chrono::milliseconds firstConnectionPatience_;
    std::chrono::milliseconds connectionPatience_;
    bool firstConnection_ = true;
    std::chrono::steady_clock::time_point lastRead_;
    std::optional<std::chrono::steady_clock::time_point> lastFailedAttempt_;
};

}  // namespace observer::platform::servers

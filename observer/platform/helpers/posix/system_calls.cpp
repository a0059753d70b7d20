// The POSIX calls behind process control and the standard streams that Linux, macOS and
// the simulated platform make alike.
#include "observer/platform/helpers/posix/system_calls.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>

namespace observer::platform::posix {
namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe calls here: _exit flushes nothing, and nothing needs flushing:
// events still queued for a reader that is ending the observer are of no use to it.
extern "C" void exitWithSuccess(int) {
    _exit(0);
}

}  // namespace

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void openClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open answers the lowest free descriptor, which is this one, since the lower
        // ones are open by now.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

void exitOnStopSignals() {
    struct sigaction action {};
    action.sa_handler = exitWithSuccess;
    sigemptyset(&action.sa_mask);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    for (const int signal : stopSignals) {
        sigaddset(&action.sa_mask, signal);
        sigaddset(&unblocked, signal);
    }
    for (const int signal : stopSignals) ::sigaction(signal, &action, nullptr);
    // A host may start the observer with these blocked; one that arrived before the
    // handlers were in place is delivered now.
    ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
}

void ignoreBrokenPipes() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

TimeOfDay localTimeFromSystemClock() {
    // glibc reads the zone once; tzset makes sure it has been read before localtime_r.
    static const bool zoneRead = (tzset(), true);
    (void)zoneRead;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000)};
}

std::string kernelDescription() {
    utsname names{};
    if (::uname(&names) != 0) return {};
    return std::string(names.sysname) + " " + names.release + " " + names.machine;
}

}  // namespace observer::platform::posix

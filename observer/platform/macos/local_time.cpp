// The local time of day through CFDateFormatter. The formatter's locale is en_US_POSIX,
// not the user's: under the user's locale a forced 12-hour-clock preference rewrites "HH"
// into a 12-hour field and other locales bring other digits. The time zone is the system's
// current one: a new formatter takes CoreFoundation's default zone, which CoreFoundation
// works out once and then caches for the life of the process, so a log that runs all day
// would keep the zone it started in. The cache is therefore dropped whenever the system has
// announced a change of time zone since the last line, and the first line after a change
// shows the new local time. A formatter is made per call; at a few lines a second its cost
// does not matter.
#include "observer/platform/local_time.h"

#include <CoreFoundation/CoreFoundation.h>
#include <notify.h>
#include <notify_keys.h>
#include <sys/time.h>
#include <time.h>

#include <cstdio>

#include "observer/platform/macos/cf_string.h"

namespace observer::platform {
namespace {

// The same text from the C library, for the case that CoreFoundation cannot allocate.
std::string timeOfDayFromClock() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(now.tv_usec / 1000));
    return text;
}

// Whether the system may have changed its time zone since the last call. The system posts
// kNotifyTimeZoneChange on every change; a token registered for checking (notify(3)) is
// asked cheaply, without a message to the notification server. The first check answers
// yes; a check that cannot be made answers yes every time, which costs a fresh zone per line.
bool timeZoneMayHaveChanged() {
    struct Registration {
        bool registered = false;
        int token = 0;
    };
    static const Registration registration = [] {
        Registration made;
        made.registered = ::notify_register_check(kNotifyTimeZoneChange, &made.token) == NOTIFY_STATUS_OK;
        return made;
    }();
    if (!registration.registered) return true;
    int changed = 0;
    if (::notify_check(registration.token, &changed) != NOTIFY_STATUS_OK) return true;
    return changed != 0;
}

}  // namespace

std::string localTimeOfDay() {
    // Drops the cached system zone, and with it the default zone that was taken from it, so
    // that the formatter below starts from the zone the system has now.
    if (timeZoneMayHaveChanged()) CFTimeZoneResetSystem();
    const macos::CFOwned<CFLocaleRef> posix(CFLocaleCreate(kCFAllocatorDefault, CFSTR("en_US_POSIX")));
    if (!posix) return timeOfDayFromClock();
    const macos::CFOwned<CFDateFormatterRef> formatter(
        CFDateFormatterCreate(kCFAllocatorDefault, posix.get(), kCFDateFormatterNoStyle, kCFDateFormatterNoStyle));
    if (!formatter) return timeOfDayFromClock();
    CFDateFormatterSetFormat(formatter.get(), CFSTR("HH:mm:ss.SSS"));
    const macos::CFOwned<CFStringRef> text(
        CFDateFormatterCreateStringWithAbsoluteTime(kCFAllocatorDefault, formatter.get(), CFAbsoluteTimeGetCurrent()));
    if (!text) return timeOfDayFromClock();
    return macos::utf8FromCFString(text.get());
}

}  // namespace observer::platform

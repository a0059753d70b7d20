// The local time of day from CoreFoundation's clock in the system's time zone.
// CoreFoundation works out the system zone once and then caches it for the life of the
// process, so a log that runs all day would keep the zone it started in. The cache is
// therefore dropped whenever the system has announced a change of time zone since the
// last line, and the first line after a change shows the new local time.
#include "observer/platform/local_time.h"

#include <CoreFoundation/CoreFoundation.h>
#include <notify.h>
#include <notify_keys.h>

#include <cmath>

#include "observer/platform/helpers/posix/system_calls.h"
#include "observer/platform/macos/cf_string.h"

namespace observer::platform {
namespace {

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

TimeOfDay localTimeOfDay() {
    if (timeZoneMayHaveChanged()) CFTimeZoneResetSystem();
    const macos::CFOwned<CFTimeZoneRef> zone(CFTimeZoneCopySystem());
    if (!zone) return posix::localTimeFromSystemClock();
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    // CoreFoundation counts from 1 January 2001 00:00:00 UTC, a midnight, so the local
    // time of day is what is left of whole local days.
    constexpr long long millisecondsPerDay = 86'400'000;
    const auto local = static_cast<long long>(std::floor((now + CFTimeZoneGetSecondsFromGMT(zone.get(), now)) * 1000.0));
    const long long ofDay = ((local % millisecondsPerDay) + millisecondsPerDay) % millisecondsPerDay;
    return {static_cast<int>(ofDay / 3'600'000), static_cast<int>(ofDay / 60'000 % 60),
            static_cast<int>(ofDay / 1000 % 60), static_cast<int>(ofDay % 1000)};
}

}  // namespace observer::platform

// The local time of day through CFDateFormatter. The formatter's locale is en_US_POSIX,
// not the user's: under the user's locale a forced 12-hour-clock preference rewrites "HH"
// into a 12-hour field and other locales bring other digits. The time zone stays the
// system's. A formatter is made per call, so a change of the system's time zone shows in
// the next line; at a few lines a second its cost does not matter.
#include "observer/platform/local_time.h"

#include <CoreFoundation/CoreFoundation.h>
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

}  // namespace

std::string localTimeOfDay() {
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

// Calls every operation of the macOS backend once against the real system and prints what
// it saw, for a person to read on the first run on a Mac. What the system answers depends
// on the machine, its permissions and what runs on it, so the program fails only on a crash
// or on an answer that no system may give.
#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "observer/platform/audio_hal.h"
#include "observer/platform/local_time.h"
#include "observer/platform/process_control.h"
#include "observer/platform/process_table.h"
#include "observer/platform/run_loop.h"
#include "observer/platform/standard_streams.h"
#include "observer/platform/text.h"
#include "observer/platform/window_list.h"
#include "observer/platform/workspace.h"

namespace platform = observer::platform;
namespace audio = observer::platform::audio;

namespace {

int failures = 0;

void expect(bool holds, const char* what) {
    if (holds) return;
    ++failures;
    std::printf("IMPOSSIBLE: %s\n", what);
}

std::string shown(const std::optional<std::string>& text) {
    return text ? "\"" + *text + "\"" : std::string("(none)");
}

// Run first, before any framework is touched, because the check forks.
void checkInterruptHandler() {
    const pid_t child = ::fork();
    if (child == 0) {
        platform::installInterruptHandler();
        ::raise(SIGINT);
        _exit(3);  // not reached when the handler works
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    std::printf("SIGINT: child %s\n", WIFEXITED(status) ? "exited" : "was killed");
    expect(WIFEXITED(status) && WEXITSTATUS(status) == 0, "SIGINT with the handler installed ends with status 0");
}

std::optional<std::vector<audio::ObjectId>> objectList(std::uint32_t selector) {
    const audio::PropertyAddress address{selector, audio::scope::global, audio::elementMain};
    std::uint32_t size = 0;
    if (audio::getPropertyDataSize(audio::systemObject, address, size) != audio::noErr) return std::nullopt;
    std::vector<audio::ObjectId> ids(size / 4);
    std::uint32_t written = static_cast<std::uint32_t>(ids.size() * 4);
    if (!ids.empty() && audio::getPropertyData(audio::systemObject, address, written, ids.data()) != audio::noErr)
        return std::nullopt;
    expect(written <= ids.size() * 4, "the HAL wrote more bytes than the buffer holds");
    ids.resize(written / 4);
    return ids;
}

std::optional<std::uint32_t> scalar(audio::ObjectId object, std::uint32_t selector) {
    const audio::PropertyAddress address{selector, audio::scope::global, audio::elementMain};
    std::uint32_t value = 0;
    std::uint32_t size = sizeof value;
    if (audio::getPropertyData(object, address, size, &value) != audio::noErr) return std::nullopt;
    expect(size <= sizeof value, "a 4-byte property wrote more than 4 bytes");
    return value;
}

std::uint32_t inputChannels(audio::ObjectId device) {
    const audio::PropertyAddress address{audio::selector::streamConfiguration, audio::scope::input, audio::elementMain};
    std::uint32_t size = 0;
    if (audio::getPropertyDataSize(device, address, size) != audio::noErr || size < audio::oneBufferListSize) return 0;
    std::vector<std::uint64_t> block((size + 7) / 8);  // 8-byte aligned
    if (audio::getPropertyData(device, address, size, block.data()) != audio::noErr) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    std::uint32_t buffers = 0;
    std::memcpy(&buffers, bytes, 4);
    std::uint32_t channels = 0;
    for (std::uint32_t i = 0; i < buffers; ++i) {
        const std::size_t at = audio::bufferListHeaderSize + i * audio::bufferRecordSize;
        if (at + 4 > size) break;
        std::uint32_t count = 0;
        std::memcpy(&count, bytes + at, 4);
        channels += count;
    }
    return channels;
}

void showAudio() {
    const auto processes = objectList(audio::selector::processObjectList);
    if (!processes) {
        std::printf("audio process objects: none (the size query failed; device-level mode)\n");
    } else {
        std::printf("audio process objects: %zu\n", processes->size());
        for (const audio::ObjectId object : *processes) {
            const auto pid = scalar(object, audio::selector::processPID);
            const auto input = scalar(object, audio::selector::processIsRunningInput);
            if (input && *input != 0)
                std::printf("  object %u, pid %d: running input\n", object, pid ? static_cast<int>(*pid) : -1);
        }
    }
    const auto devices = objectList(audio::selector::devices);
    std::printf("audio devices: %zu\n", devices ? devices->size() : std::size_t{0});
    expect(devices.has_value(), "the HAL lists no devices property at all");
    for (const audio::ObjectId device : devices.value_or(std::vector<audio::ObjectId>{})) {
        const std::uint32_t channels = inputChannels(device);
        if (channels == 0) continue;
        const auto running = scalar(device, audio::selector::deviceIsRunningSomewhere);
        std::printf("  input device %u: %u channels, %s\n", device, channels,
                    !running ? "running state unknown" : *running ? "running" : "idle");
    }
}

void showProcessTable(const char* argv0) {
    const std::int32_t self = platform::currentProcessId();
    const std::int32_t parent = platform::parentProcessId();
    expect(self == static_cast<std::int32_t>(::getpid()), "currentProcessId differs from getpid");
    platform::ProcessRecord record;
    std::int64_t length = 0;
    const int status = platform::queryProcessRecord(self, record, length);
    std::printf("process %d: status %d, length %lld, parent %d, command \"%s\"\n", self, status,
                static_cast<long long>(length), record.parentPid, record.command.data());
    expect(status == 0 && length > 0, "the kernel has no record of this very process");
    expect(record.parentPid == parent, "the record's parent is not getppid");
    std::string name = argv0;
    if (const auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    name.resize(std::min(name.size(), platform::commandNameCapacity));
    expect(name == record.command.data(), "the command name is not the first 16 bytes of the program's name");

    // pid_max is 99998 on macOS, so this pid has no process.
    platform::ProcessRecord missing;
    std::int64_t missingLength = 0;
    const int missingStatus = platform::queryProcessRecord(0x7FFFFF00, missing, missingLength);
    std::printf("missing pid: status %d, length %lld\n", missingStatus, static_cast<long long>(missingLength));
    expect(missingStatus != 0 || missingLength == 0, "a pid without a process answered a record");
}

void showWorkspace() {
    const auto applications = platform::runningApplications();
    std::printf("running applications: %zu\n", applications.size());
    const auto frontmost = platform::frontmostApplication();
    if (!frontmost) {
        std::printf("frontmost application: none\n");
        return;
    }
    std::printf("frontmost application: %s, %s, pid %d\n", shown(frontmost->localizedName).c_str(),
                shown(frontmost->bundleIdentifier).c_str(), frontmost->processIdentifier);
    const auto isListed = [&](const std::vector<platform::RunningApplication>& list) {
        for (const auto& application : list)
            if (application.processIdentifier == frontmost->processIdentifier) return true;
        return false;
    };
    // Asked once more, in case the application was launched between the two queries.
    expect(isListed(applications) || isListed(platform::runningApplications()),
           "the frontmost application is not among the running applications");
}

void showWindows() {
    std::printf("screen recording permission: %s\n", CGPreflightScreenCaptureAccess() ? "granted" : "not granted");
    const platform::WindowListHandle windows = platform::copyOnScreenWindows();
    if (!windows) {
        std::printf("on-screen windows: no list (no GUI session?)\n");
        return;
    }
    const std::size_t count = platform::windowCount(*windows);
    std::printf("on-screen windows: %zu\n", count);
    std::size_t named = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto owner = platform::windowOwnerPid(*windows, i);
        const auto name = platform::windowName(*windows, i);
        const auto* title = std::get_if<std::string>(&name);
        if (title != nullptr && !title->empty()) ++named;
        if (i >= 8) continue;
        const auto* pid = std::get_if<std::int32_t>(&owner);
        std::printf("  window %zu: owner %s, name %s\n", i, pid ? std::to_string(*pid).c_str() : "(unreadable)",
                    title ? (title->empty() ? "empty" : "visible") : std::holds_alternative<platform::MissingKey>(name)
                                                                        ? "missing"
                                                                        : "wrong type");
    }
    std::printf("windows with a visible name: %zu of %zu\n", named, count);
}

bool isTimeOfDay(const platform::TimeOfDay& time) {
    return time.hours >= 0 && time.hours < 24 && time.minutes >= 0 && time.minutes < 60 && time.seconds >= 0 &&
           time.seconds < 60 && time.milliseconds >= 0 && time.milliseconds < 1000;
}

void showTimeAndText() {
    const std::time_t before = std::time(nullptr);
    const platform::TimeOfDay now = platform::localTimeOfDay();
    const std::time_t after = std::time(nullptr);
    tm first{};
    tm last{};
    localtime_r(&before, &first);
    localtime_r(&after, &last);
    std::printf("time of day: %02d:%02d:%02d.%03d (the C library says %02d:%02d:%02d)\n", now.hours, now.minutes,
                now.seconds, now.milliseconds, last.tm_hour, last.tm_min, last.tm_sec);
    expect(isTimeOfDay(now), "the time of day is out of range");
    expect(now.hours == first.tm_hour || now.hours == last.tm_hour, "the hour is not the C library's local hour");

    expect(platform::localizedCaseInsensitiveContains("Zoom Meeting", "zoom"), "case-insensitive search misses");
    expect(platform::localizedCaseInsensitiveContains("ÉCOLE", "école"), "case-insensitive search misses accents");
    expect(!platform::localizedCaseInsensitiveContains("Zoom", ""), "an empty needle is contained");
    expect(!platform::localizedCaseInsensitiveContains("Meet", "Zoom"), "search finds what is not there");
    expect(platform::caseInsensitiveEquals("Microsoft Teams", "MICROSOFT teams"), "case-insensitive comparison differs");
    expect(!platform::caseInsensitiveEquals("Teams", "Team"), "comparison ignores a missing letter");
    // The whole white-space-and-newline set of the text contract at both ends, and blank-looking
    // characters outside it kept: the shared tests hold the other backends to the same set.
    const std::string trimmedSet =
        "\t\n\v\f\r \u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200A"
        "\u200B\u2028\u2029\u202F\u205F\u3000";
    expect(platform::trimWhitespaceAndNewlines(trimmedSet + "Meet" + trimmedSet) == "Meet",
           "trimming leaves a character of the white-space-and-newline set");
    expect(platform::trimWhitespaceAndNewlines("\u180E\u200C Meet \u2060\uFEFF") == "\u180E\u200C Meet \u2060\uFEFF",
           "trimming removes a character outside the white-space-and-newline set");
    expect(platform::decodeUtf8("a\xFF" "b") == "a\uFFFD" "b", "an ill-formed byte is not replaced");
    std::printf("text: search, comparison, trimming and decoding answered\n");
}

void showRunLoop() {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::vector<double> firings;
    platform::scheduleRepeatingTimer(std::chrono::milliseconds(200), [&] {
        firings.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        if (firings.size() == 3) CFRunLoopStop(CFRunLoopGetMain());
    });
    platform::runMainRunLoop();
    std::printf("timer: fired at");
    for (const double at : firings) std::printf(" %.3f s", at);
    std::printf("\n");
    expect(firings.size() == 3, "the run loop returned before the timer fired three times");
    for (std::size_t i = 0; i < firings.size(); ++i)
        expect(firings[i] >= 0.19 * double(i + 1), "the timer fired before its interval had passed");
}

}  // namespace

int main(int, char** argv) {
    checkInterruptHandler();
    std::fflush(stdout);  // the streams below write past stdio's buffer
    expect(platform::writeEventLine("{\"event\":\"smoke\"}"), "an event line was refused with nothing queued");
    platform::writeDiagnosticMessage("diagnostic line through standard error");
    std::fflush(stdout);
    showAudio();
    showProcessTable(argv[0]);
    showWorkspace();
    showWindows();
    showTimeAndText();
    showRunLoop();
    std::printf("%s\n", failures == 0 ? "smoke test: nothing impossible seen" : "smoke test: FAILED");
    return failures == 0 ? 0 : 1;
}

// The startup sequence, in the order the host application sees its effects.
#include "observer/core/startup.h"

#include <chrono>
#include <string>

#include "observer/audio/audio_objects.h"
#include "observer/core/event_stream.h"
#include "observer/core/poll_tick.h"
#include "observer/core/state.h"
#include "observer/platform/process_control.h"
#include "observer/platform/run_loop.h"
#include "observer/platform/standard_streams.h"

namespace observer {
namespace {

constexpr std::chrono::milliseconds tickInterval{1000};

std::string modeText() {
    if (!hasPerProcessInput) return "device-level fallback";
    return "per-process (ignoring own app, pid " + std::to_string(ownAppPID) + ")";
}

}  // namespace

void prepareObserverState() {
    // Taken once: if the host goes away and the observer is adopted, the host's pid stays.
    ownAppPID = platform::parentProcessId();
    nonMeetingInputServices = nonMeetingInputServicesCatalogue();
    // The mode is decided once for the whole run, whatever later queries answer.
    hasPerProcessInput = audioProcessObjects().has_value();
    fillMeetingCatalogue();
    resetSession();
}

std::string detectionModeLine() {
    return "mic detection: " + modeText();
}

void startObserver() {
    // The platform's own log lines (a server out of reach, say) wear the same frame.
    platform::useLogFrame(logFrame);
    prepareObserverState();
    logLine(detectionModeLine());

    emitHeartbeat();
    emitMicMode(hasPerProcessInput);

    platform::scheduleRepeatingTimer(tickInterval, pollTick);
    platform::installInterruptHandler();
}

}  // namespace observer

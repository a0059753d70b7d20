// The session state machine. Idle: no session. Unattributed: the microphone was in use on
// the previous tick and no application has been named. Tracking: a "mic-active" event is
// open for `trackedApp`.
#include "observer/core/poll_tick.h"

#include "observer/audio/mic_usage.h"
#include "observer/core/event_stream.h"
#include "observer/core/host_watch.h"
#include "observer/core/state.h"
#include "observer/detection/meeting_app.h"
#include "observer/detection/window_title.h"
#include "observer/process/process_info.h"

namespace observer {
namespace {

constexpr std::int64_t ticksPerHeartbeat = 15;

void endSession() {
    emitMicInactive();
    emittedForCurrentSession = false;
    trackedApp.reset();
}

// What the system answers is shared by every rule within one tick, as one snapshot of
// that moment: a tick then costs one query per thing it needs, however often the rules
// ask, and nothing of it is kept for the next tick.
void shareAnswersWithinTick() {
    shareMicInputWithinTick();
    shareProcessRecordsWithinTick();
    shareWindowListWithinTick();
}

void forgetTickAnswers() {
    forgetWindowList();
    forgetProcessRecords();
    forgetMicInput();
}

void runTick() {
    if (endIfHostIsGone()) return;
    if (++heartbeatTicks >= ticksPerHeartbeat) {
        heartbeatTicks = 0;
        emitHeartbeat();
    }

    const bool active = isMeetingMicActive();
    if (emittedForCurrentSession) {
        bool stillInUse = active;
        if (trackedApp) {
            // Without per-process information the tick's own microphone answer decides.
            stillInUse = isAppUsingMic(trackedApp->pid, trackedApp->label).value_or(active);
        }
        if (!stillInUse) endSession();
    } else if (active) {
        if (auto result = detectMeetingApp()) {
            emitJSON("mic-active", result->label, result->pid, result->title);
            emittedForCurrentSession = true;
            trackedApp = TrackedApp{result->pid, std::move(result->label)};
        }
    } else if (micWasActive) {
        emitMicInactive();
    }
    micWasActive = active;
}

}  // namespace

void pollTick() {
    shareAnswersWithinTick();
    runTick();
    forgetTickAnswers();
}

}  // namespace observer

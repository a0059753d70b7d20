// Microphone predicates over the HAL's process objects and devices.
#include "observer/audio/mic_usage.h"

#include <string>

#include "observer/audio/audio_objects.h"
#include "observer/core/event_stream.h"
#include "observer/process/process_rules.h"

namespace observer {
namespace {

using MicInputPIDs = std::optional<std::vector<std::optional<Pid>>>;

// Within a tick the microphone check, the tracked application's check and each
// attribution check of a detection pass all ask which processes capture; each HAL read
// is a round trip to the audio server, so the tick reads them once.
bool sharingMicInput = false;
std::optional<MicInputPIDs> tickMicInput;

MicInputPIDs readMicInputPIDs() {
    const auto objects = audioProcessObjects();
    if (!objects) return std::nullopt;
    std::vector<std::optional<Pid>> pids;
    for (const AudioObjectID object : *objects) {
        if (isProcessRunningInput(object)) pids.push_back(processPID(object));
    }
    return pids;
}

}  // namespace

void shareMicInputWithinTick() {
    sharingMicInput = true;
}

void forgetMicInput() {
    sharingMicInput = false;
    tickMicInput.reset();
}

MicInputPIDs micInputPIDs() {
    if (!sharingMicInput) return readMicInputPIDs();
    if (!tickMicInput) tickMicInput = readMicInputPIDs();
    return *tickMicInput;
}

std::optional<bool> isForeignProcessUsingMic() {
    const auto pids = micInputPIDs();
    if (!pids) return std::nullopt;
    for (const auto& pid : *pids) {
        // A capturing object whose pid cannot be read may well be a meeting.
        if (!pid) return true;
        if (isOwnProcess(*pid)) continue;
        if (isNonMeetingInputService(*pid)) continue;
        return true;
    }
    return false;
}

bool isAnyMicActive() {
    for (const AudioObjectID device : inputDevices()) {
        if (isMicActive(device)) return true;
    }
    return false;
}

bool isMeetingMicActive() {
    if (hasPerProcessInput) {
        if (const auto foreign = isForeignProcessUsingMic()) return *foreign;
    }
    return isAnyMicActive();
}

std::optional<bool> isAppUsingMic(Pid appPID, std::string_view label) {
    if (!hasPerProcessInput) return std::nullopt;
    const auto pids = micInputPIDs();
    if (!pids) return std::nullopt;
    for (const auto& pid : *pids) {
        if (pid && belongsToApp(*pid, appPID, label)) return true;
    }
    return false;
}

bool isMicAttributable(Pid to, std::string_view label) {
    const auto capturing = isAppUsingMic(to, label);
    if (!capturing || *capturing) return true;
    std::string message(label);
    message += " isn't using the mic \u2014 not attributing to it";
    logLine(message);
    return false;
}

}  // namespace observer

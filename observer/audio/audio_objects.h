// Plain values from the audio hardware abstraction layer: the process objects and the
// input devices, and the few properties the microphone probes read of them.
#pragma once

#include <optional>
#include <vector>

#include "observer/core/state.h"
#include "observer/platform/audio_hal.h"

namespace observer {

using AudioObjectID = platform::audio::ObjectId;

// Nothing when the system has no process-object list or it cannot be read.
std::optional<std::vector<AudioObjectID>> audioProcessObjects();
// The devices with input channels, in the HAL's order; empty on any failure.
std::vector<AudioObjectID> inputDevices();
bool hasInputChannels(AudioObjectID device);
bool isMicActive(AudioObjectID device);
bool isProcessRunningInput(AudioObjectID processObject);
std::optional<Pid> processPID(AudioObjectID processObject);

}  // namespace observer

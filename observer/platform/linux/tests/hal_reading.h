// The audio HAL's answers as the Linux backend's tests read them, through the same
// property queries that the observer makes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "observer/platform/audio_hal.h"

namespace observer::platform::hal_reading {

namespace hal = observer::platform::audio;

inline constexpr hal::PropertyAddress processList{hal::selector::processObjectList, hal::scope::global,
                                                  hal::elementMain};
inline constexpr hal::PropertyAddress deviceList{hal::selector::devices, hal::scope::global, hal::elementMain};
inline constexpr hal::PropertyAddress runningInput{hal::selector::processIsRunningInput, hal::scope::global,
                                                   hal::elementMain};
inline constexpr hal::PropertyAddress processPid{hal::selector::processPID, hal::scope::global, hal::elementMain};
inline constexpr hal::PropertyAddress inputConfiguration{hal::selector::streamConfiguration, hal::scope::input,
                                                         hal::elementMain};
inline constexpr hal::PropertyAddress runningSomewhere{hal::selector::deviceIsRunningSomewhere, hal::scope::global,
                                                       hal::elementMain};

// The system object's list at `address` (process objects or devices).
std::optional<std::vector<hal::ObjectId>> idList(const hal::PropertyAddress& address);
std::optional<std::uint32_t> scalar(hal::ObjectId object, const hal::PropertyAddress& address);
// Channel counts of the buffers in a device's input stream configuration.
std::optional<std::vector<std::uint32_t>> inputChannels(hal::ObjectId device);
// The process object whose pid query answers `pid`.
std::optional<hal::ObjectId> processObjectOf(pid_t pid);
// The pids of the process objects that record, in the HAL's order.
std::vector<std::uint32_t> recordingPids();

}  // namespace observer::platform::hal_reading

// The HAL's property listeners as blocks on the main queue: they run on the main thread
// between the run loop's other work, never during a tick.
#pragma once

#include <functional>

#include "observer/platform/audio_hal.h"

namespace observer::platform::macos {

// False when the HAL refuses the listener.
bool addHalListener(audio::ObjectId object, const audio::PropertyAddress& address, std::function<void()> changed);
void removeHalListener(audio::ObjectId object, const audio::PropertyAddress& address);

}  // namespace observer::platform::macos

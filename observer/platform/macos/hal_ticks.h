// The HAL mirror's part of the run loop: called after each tick, so that its audits of
// what the listeners kept fall between ticks.
#pragma once

namespace observer::platform::macos {

void halTickEnded();

}  // namespace observer::platform::macos

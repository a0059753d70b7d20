// The once-a-second poll tick: heartbeat, microphone check, attribution and session end.
#pragma once

namespace observer {

void pollTick();

}  // namespace observer

// The observer's life is bound to its host application's.
#pragma once

namespace observer {

// When the process that started the observer is gone (its parent is no longer
// `ownAppPID`), writes one log line saying so and ends the process with status 0. Answers
// whether it did; on a real system it then does not return.
bool endIfHostIsGone();

}  // namespace observer

// Output waiting for a slow reader, written out from the main CFRunLoop.
#pragma once

namespace observer::platform::macos {

// From now on, each time the main run loop is about to wait, the standard streams that
// have output waiting are watched, and written to as soon as they take bytes.
void watchWaitingOutputBeforeEachWait();

}  // namespace observer::platform::macos

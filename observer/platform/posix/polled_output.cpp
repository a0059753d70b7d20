// For backends whose run loop polls the standard streams through `pollWithOutput` whenever
// output waits (Linux, simulated): they need no notice. Linked as an object file, not
// from an archive, so that every program and test of those backends has it whichever of
// their archives the linker reads first.
#include "observer/platform/posix/output_channels.h"

namespace observer::platform::posix {

void outputIsWaiting(int) {}

}  // namespace observer::platform::posix

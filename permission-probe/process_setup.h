// What sennick does before anything else, so that the host's handling of the standard
// streams can never turn the answer into a death by signal.
#pragma once

namespace sennick {

// Opens /dev/null on each of descriptors 0 to 2 that is closed, so that no descriptor the
// loader opens can become a standard stream, and ignores SIGPIPE, so that a stream whose
// reader is gone makes a write fail instead of killing the process: the exit status still
// carries the answer.
void prepareProcess();

}  // namespace sennick

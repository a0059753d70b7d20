// The observer's own process: how it is prepared, its pid, its parent's pid, and how it
// ends.
//
// Contract: `prepareProcess` is the first thing a program's main calls, before any
// output: descriptors 0 to 2 that are closed are opened on /dev/null, SIGINT, SIGTERM and
// SIGHUP end the process at once with status 0, writing nothing, whatever disposition was
// inherited (and a host may start the process with them blocked: one that came early is
// acted on then), and SIGPIPE is ignored, so that a closed pipe is an error return,
// never a death. SIGQUIT keeps its inherited disposition (by default: ended with a core
// dump, for debugging).
// `currentProcessId` and `parentProcessId` cannot fail; once the process that started the
// observer is gone, `parentProcessId` answers whichever process adopted it.
// `installInterruptHandler` installs the same stop-signal handlers again; it is harmless
// after `prepareProcess`.
// `endProcess` ends the process with status 0 without writing anything; on a real
// system it does not return. The simulated platform, when not writing to the real
// streams, records the end instead, and its run loop fires no more.
#pragma once

#include <cstdint>

namespace observer::platform {

void prepareProcess();
std::int32_t currentProcessId();
std::int32_t parentProcessId();
void installInterruptHandler();
void endProcess();

}  // namespace observer::platform

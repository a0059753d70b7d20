// sennick: tells the host application whether audio capture is permitted.
// Standard input is not read; the answer is the word on standard output and the exit
// status, and returning from main flushes standard output. --help and --version are
// answered without asking the service.
#include "command_line.h"
#include "probe.h"
#include "service_name.h"
#include "system_loader.h"

int main(int argc, char** argv) {
    if (const auto status = sennick::answerCommandLine(argc, argv)) return *status;
    return sennick::probeAudioCapturePermission(sennick::systemLoaderOps(), sennick::audioCaptureService());
}

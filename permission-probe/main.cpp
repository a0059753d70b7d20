// sennick: tells the host application whether audio capture is permitted.
// Standard input is not read; the answer is the word on standard output and the exit
// status, and returning from main flushes standard output. A stream that cannot be
// written loses its line, never the exit status. --help and --version are answered
// without asking the service.
#include "command_line.h"
#include "probe.h"
#include "process_setup.h"
#include "service_name.h"
#include "system_loader.h"

int main(int argc, char** argv) {
    sennick::prepareProcess();
    if (const auto status = sennick::answerCommandLine(argc, argv)) return *status;
    return sennick::probeAudioCapturePermission(sennick::systemLoaderOps(), sennick::audioCaptureService());
}

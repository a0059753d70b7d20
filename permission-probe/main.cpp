// sennick: tells the host application whether audio capture is permitted.
// Arguments and standard input are ignored; the answer is the word on standard
// output and the exit status, and returning from main flushes standard output.
#include "probe.h"
#include "service_name.h"
#include "system_loader.h"

int main() {
    return sennick::probeAudioCapturePermission(sennick::systemLoaderOps(), sennick::audioCaptureService());
}

// sennick: tells the host application whether audio capture is permitted.
// Arguments and standard input are ignored; the answer is the word on standard
// output and the exit status, and returning from main flushes standard output. A
// stream that cannot be written loses its line, never the exit status.
#include "probe.h"
#include "process_setup.h"
#include "service_name.h"
#include "system_loader.h"

int main() {
    sennick::prepareProcess();
    return sennick::probeAudioCapturePermission(sennick::systemLoaderOps(), sennick::audioCaptureService());
}

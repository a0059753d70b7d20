// quorvel: reports to its host application when a meeting application captures the
// microphone. No arguments, no configuration; runs until a stop signal, the host's end or
// the close of its standard output.
#include "observer/core/startup.h"
#include "observer/platform/process_control.h"
#include "observer/platform/run_loop.h"

int main() {
    observer::platform::prepareProcess();
    observer::startObserver();
    observer::platform::runMainRunLoop();
    return 0;
}

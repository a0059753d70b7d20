// quorvel: reports to its host application when a meeting application captures the
// microphone. No configuration; runs until a stop signal, the host's end or the close of
// its standard output. --help and --version are answered without starting to watch.
#include "observer/core/command_line.h"
#include "observer/core/startup.h"
#include "observer/platform/process_control.h"
#include "observer/platform/run_loop.h"

int main(int argc, char** argv) {
    observer::platform::prepareProcess();
    if (const auto status = observer::answerCommandLine(argc, argv)) return *status;
    observer::startObserver();
    observer::platform::runMainRunLoop();
    return 0;
}

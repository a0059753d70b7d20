// quorvel: reports to its host application when a meeting application captures the
// microphone. No configuration; runs until a stop signal, the host's end or the close of
// its standard output. --help, --version and --diagnose are answered without starting
// to watch.
#include "observer/core/command_line.h"
#include "observer/core/diagnosis.h"
#include "observer/core/startup.h"
#include "observer/platform/process_control.h"
#include "observer/platform/run_loop.h"

int main(int argc, char** argv) {
    observer::platform::prepareProcess();
    const auto command = observer::readCommandLine(argc, argv);
    if (command.exitStatus) return *command.exitStatus;
    if (command.diagnose) return observer::runDiagnosis({"quorvel", QUORVEL_VERSION, command.allTitles});
    observer::startObserver();
    observer::platform::runMainRunLoop();
    return 0;
}

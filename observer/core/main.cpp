// quorvel: reports to its host application when a meeting application captures the
// microphone. No arguments, no configuration; runs until SIGINT.
#include "observer/core/startup.h"
#include "observer/platform/run_loop.h"

int main() {
    observer::startObserver();
    observer::platform::runMainRunLoop();
    return 0;
}

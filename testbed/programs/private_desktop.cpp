// private_desktop: a private Linux desktop for a person or a script, the one the tests
// use: an X server, a window manager and a sound server with a virtual microphone "mic0",
// in a temporary directory. It prints what a program needs to use them, as lines
// "NAME=VALUE" and then "ready", and keeps them running until its standard input ends
// or it gets SIGINT, SIGTERM or SIGHUP; then it stops them and removes the directory.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "testbed/private_servers.h"

namespace {

volatile sig_atomic_t stopping = 0;

extern "C" void stop(int) {
    stopping = 1;
}

}  // namespace

int main(int argc, char**) {
    if (argc != 1) {
        std::fputs("usage: private_desktop\n", stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = stop;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);

    testbed::TemporaryDirectory directory;
    const auto x = testbed::startXServer(directory.path());
    const auto manager = x ? testbed::startWindowManager(x->display, directory.path()) : nullptr;
    const auto sound = testbed::startSoundServer(directory.path());
    if (!x || !manager || !sound) {
        std::fputs("private_desktop: the servers did not come up\n", stderr);
        return 1;
    }
    std::printf("DISPLAY=%s\nPULSE_SERVER=%s\nDESKTOP_DIRECTORY=%s\nready\n", x->display.c_str(),
                sound->address().c_str(), directory.path().c_str());
    std::fflush(stdout);

    char buffer[256];
    while (!stopping && ::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

// Which compositor source a session has, by what its environment names.
#include "observer/platform/linux/compositor_windows.h"

#include <cstdlib>

#include "observer/platform/linux/sway_ipc.h"

namespace observer::platform::compositor {
namespace {

enum class Source { none, sway };

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

Source sessionSource() {
    if (named("SWAYSOCK")) return Source::sway;
    return Source::none;
}

}  // namespace

bool sessionHasCompositorSource() {
    return sessionSource() != Source::none;
}

const View* currentView() {
    switch (sessionSource()) {
        case Source::sway: return sway::currentView();
        case Source::none: break;
    }
    return nullptr;
}

void takeInArrived() {
    switch (sessionSource()) {
        case Source::sway: sway::takeInArrived(); break;
        case Source::none: break;
    }
}

}  // namespace observer::platform::compositor

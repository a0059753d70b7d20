// This backend's name, and the system's as its kernel tells it (Darwin's release names
// the macOS release: 23.2.0 is macOS 14.2).
#include "observer/platform/backend_identity.h"

#include "observer/platform/helpers/posix/system_calls.h"

namespace observer::platform {

std::string_view backendName() {
    return "macos";
}

std::string systemDescription() {
    return posix::kernelDescription();
}

}  // namespace observer::platform

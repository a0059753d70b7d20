// The simulated platform: no system of its own to describe.
#include "observer/platform/backend_identity.h"

namespace observer::platform {

std::string_view backendName() {
    return "simulated";
}

std::string systemDescription() {
    return "simulated";
}

}  // namespace observer::platform

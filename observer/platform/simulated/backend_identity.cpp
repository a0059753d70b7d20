// This backend's name.
#include "observer/platform/backend_identity.h"

namespace observer::platform {

std::string_view backendName() {
    return "simulated";
}

}  // namespace observer::platform

// This backend's name, and the system's: the kernel's, and the distribution's own name
// for itself from os-release(5).
#include "observer/platform/backend_identity.h"

#include <fstream>

#include "observer/platform/helpers/posix/system_calls.h"

namespace observer::platform {
namespace {

// PRETTY_NAME="Debian GNU/Linux 12 (bookworm)", its quotes taken off.
std::string distributionName() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
            std::string value = line.substr(std::string_view("PRETTY_NAME=").size());
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

}  // namespace

std::string_view backendName() {
    return "linux";
}

std::string systemDescription() {
    const std::string distribution = distributionName();
    const std::string kernel = posix::kernelDescription();
    return distribution.empty() ? kernel : kernel + "; " + distribution;
}

}  // namespace observer::platform

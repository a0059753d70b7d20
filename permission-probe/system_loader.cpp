// Binds the probe to dlopen, dlsym, dlclose and the process's standard streams.
#include "system_loader.h"

#include <dlfcn.h>

#include <cstdio>

namespace sennick {
namespace {

// The framework's entry point takes two pointer-sized arguments (service name
// and an options dictionary) and answers a signed 32-bit value.
using PreflightFunction = std::int32_t (*)(const void* service, const void* options);

void writeWhole(std::FILE* stream, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stream);
}

}  // namespace

LoaderOps systemLoaderOps() {
    return LoaderOps{
        .open = [](const char* path, int mode) { return dlopen(path, mode); },
        .lookUp = [](void* handle, const char* name) { return dlsym(handle, name); },
        .callPreflight =
            [](void* entry, const void* service, const void* options) {
                return reinterpret_cast<PreflightFunction>(entry)(service, options);
            },
        // Nothing useful can be done about a failed close in a one-shot program.
        .close = [](void* handle) { dlclose(handle); },
        .writeError = [](std::string_view line) { writeWhole(stderr, line); },
        .writeOutput = [](std::string_view line) { writeWhole(stdout, line); },
    };
}

}  // namespace sennick

// The permission probe's decision: ask the privacy-consent framework once and
// turn its answer into one diagnostic line, one word and an exit status.
// The loader and the streams come in as operations so that every outcome can
// be reached without the framework being present.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace sennick {

struct LoaderOps {
    // Null when the library cannot be loaded.
    std::function<void*(const char* path, int mode)> open;
    // Null when the library does not export the name.
    std::function<void*(void* handle, const char* name)> lookUp;
    // Invokes the preflight entry point that lookUp returned.
    std::function<std::int32_t(void* entry, const void* service, const void* options)> callPreflight;
    std::function<void(void* handle)> close;
    // Each call carries one whole line, so a line is never split between writes.
    std::function<void(std::string_view line)> writeError;
    std::function<void(std::string_view line)> writeOutput;
};

// Returns the exit status: 0 authorized, 1 denied, 2 unknown.
int probeAudioCapturePermission(const LoaderOps& ops, const void* service);

}  // namespace sennick

// Loads the privacy-consent framework, asks its preflight entry point once and
// reports the answer. The host application reads only the word on standard
// output and the exit status; the standard-error line is for people.
#include "probe.h"

#include <dlfcn.h>

#include <string>

namespace sennick {
namespace {

constexpr const char* kFrameworkPath = "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";
constexpr const char* kEntryPointName = "TCCAccessPreflight";

constexpr int kAuthorized = 0;
constexpr int kDenied = 1;
constexpr int kUnknown = 2;

}  // namespace

int probeAudioCapturePermission(const LoaderOps& ops, const void* service) {
    // The loader's own error text is deliberately not fetched: the host only
    // needs to know that no answer exists.
    void* handle = ops.open(kFrameworkPath, RTLD_NOW);
    if (handle == nullptr) {
        ops.writeError("ERROR: Failed to load TCC framework\n");
        ops.writeOutput("unknown\n");
        return kUnknown;
    }

    void* entry = ops.lookUp(handle, kEntryPointName);
    if (entry == nullptr) {
        ops.writeError("ERROR: Failed to find TCCAccessPreflight function\n");
        ops.close(handle);
        ops.writeOutput("unknown\n");
        return kUnknown;
    }

    const std::int32_t result = ops.callPreflight(entry, service, nullptr);
    // Nothing of the framework is needed for reporting, so it is released
    // before the first byte is written, whatever it answered.
    ops.close(handle);

    switch (result) {
    case 0:
        ops.writeError("DEBUG: Audio capture permission is authorized\n");
        ops.writeOutput("authorized\n");
        return kAuthorized;
    case 1:
        ops.writeError("DEBUG: Audio capture permission is denied\n");
        ops.writeOutput("denied\n");
        return kDenied;
    default:
        // Other values have no documented meaning; the number is kept in the
        // diagnostic so that a new one can be recognised later.
        ops.writeError("DEBUG: Audio capture permission is unknown (result=" + std::to_string(result) + ")\n");
        ops.writeOutput("unknown\n");
        return kUnknown;
    }
}

}  // namespace sennick

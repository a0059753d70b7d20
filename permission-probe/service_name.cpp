// The framework expects its service name as a CoreFoundation string; where
// CoreFoundation does not exist the probe still builds and runs, and only the
// load of the framework fails, so a plain object with the same text stands in.
#include "service_name.h"

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#endif

namespace sennick {

#ifdef __APPLE__

const void* audioCaptureService() {
    // A compile-time constant string: no CoreFoundation function runs, so the
    // framework is linked for this object alone.
    return CFSTR("kTCCServiceAudioCapture");
}

#else

namespace {
constexpr char kAudioCaptureService[] = "kTCCServiceAudioCapture";
}

const void* audioCaptureService() {
    return kAudioCaptureService;
}

#endif

}  // namespace sennick

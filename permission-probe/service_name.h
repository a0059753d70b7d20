// The service name the probe asks the privacy-consent framework about.
#pragma once

namespace sennick {

// A constant object that lives for the whole run and is never released.
const void* audioCaptureService();

}  // namespace sennick

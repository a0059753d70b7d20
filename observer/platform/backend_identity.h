// Which backend the program was linked with.
//
// Contract: `backendName` names it, for what the program tells a person about itself:
// "macos", "linux" or "simulated".
#pragma once

#include <string_view>

namespace observer::platform {

std::string_view backendName();

}  // namespace observer::platform

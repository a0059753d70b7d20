// Which backend the program was linked with.
//
// Contract: `backendName` names it, for what the program tells a person about itself:
// "macos", "linux" or "simulated". `systemDescription` is what the system says it is,
// for a person reading a report: its kernel's name, release and machine, and where the
// system says so its distribution; it cannot fail, and may be empty.
#pragma once

#include <string>
#include <string_view>

namespace observer::platform {

std::string_view backendName();
std::string systemDescription();

}  // namespace observer::platform

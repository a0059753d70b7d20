// xcb waits for an X server's greeting without a deadline, and a stopped or hung server
// never greets: a connection of our own asks for the greeting first, with one.
#pragma once

#include <chrono>
#include <string>

namespace observer::platform::x11 {

// False when the server of `display` took a connection but did not greet within
// `patience`. True otherwise, a display that cannot be reached at all included: xcb
// then says why itself, at once. Only local displays and those given by a numeric
// address or "localhost" are probed: finding any other host's address could wait on
// name resolution.
bool greetsInTime(const std::string& display, std::chrono::milliseconds patience);

}  // namespace observer::platform::x11

// Code that GCC with libstdc++ accepts on Linux and that a Mac build rejects: the check must
// use Apple's compiler warnings and the libc++ of a macOS 12 target, or these pass unseen.
#include <charconv>
#include <cstddef>

namespace {

bool firstCheck();
bool secondCheck();

// Both operands are meant to run; clang still calls it a mistake, and -Werror makes it one.
bool bothChecksRun() {
    // expected-error@+1 {{use of bitwise '&' with boolean operands}}
    return firstCheck() & secondCheck();
}

// The libc++ of macOS 12 has no floating-point to_chars.
std::size_t printedLength(char* buffer, std::size_t size, double value) {
    // expected-error@+1 {{'to_chars' is unavailable}}
    return static_cast<std::size_t>(std::to_chars(buffer, buffer + size, value).ptr - buffer);
}

}  // namespace

// Keeps the samples used, so that unused-function warnings do not mask them.
std::size_t useStandardLibrarySamples(char* buffer, std::size_t size) {
    return bothChecksRun() ? printedLength(buffer, size, 0.5) : 0;
}

#!/usr/bin/env bash
# Type-checks sources for a macOS target on a machine without a Mac SDK: clang compiles each
# file with -fsyntax-only for a macOS 12 target, with the warnings and language level of the
# real build, against the headers a Mac build sees as far as this machine has them:
# - Apple's frameworks and the few Darwin-only C headers: the declaration stubs beside this
#   script;
# - the C++ standard library: libc++, configured by its own headers for the Apple target;
# - the libraries the tests, benchmarks and quorvel-replay use (GoogleTest, Google
#   Benchmark, nlohmann-json, ICU): the host's headers of them, and nothing else of the
#   host's include directory;
# - the C library: the host's glibc headers for the same CPU, from Debian's cross packages
#   (/usr/x86_64-linux-gnu, /usr/aarch64-linux-gnu), as the closest available stand-in.
#
# Usage: compile_check.sh CLANG++ SOURCE_ROOT [--arch x86_64|arm64] [-I DIR]...
#                         [-D NAME=VALUE]... [--analyze] [--expect-diagnostics] FILE...
#   --arch                the Mac's CPU; x86_64 when not given.
#   -I DIR                one more directory for quoted includes, as a target's include
#                         directories give them in the build (SOURCE_ROOT always is one).
#   -D NAME=VALUE         a macro that the build defines for some targets (the version).
#   --analyze             run clang's static analyzer with its CoreFoundation ownership
#                         checkers instead of a plain type check: a Create or Copy result
#                         that is not released on some path, a double release or the
#                         release of a borrowed object fails.
#   --expect-diagnostics  each file must produce exactly the diagnostics that its
#                         expected-error and expected-warning comments name (clang's
#                         -verify), which is how the check itself is shown to catch faults.
set -euo pipefail

compiler=$1
root=$2
shift 2
arch=x86_64
includes=(-I "$root")
mode=(-fsyntax-only)
analyze=false
verify=()
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2; shift ;;
    -I) includes+=(-I "$2"); shift ;;
    -D) includes+=(-D "$2"); shift ;;
    --analyze) analyze=true ;;
    --expect-diagnostics) verify=(-Xclang -verify -Xclang -verify-ignore-unexpected=note) ;;
    *) break ;;
  esac
  shift
done
if $analyze; then
  mode=(--analyze -o /dev/null -Xclang -analyzer-checker=osx.cocoa.RetainCount,osx.coreFoundation.CFRetainRelease)
  [ ${#verify[@]} -gt 0 ] || mode+=(-Xclang -analyzer-werror)
fi
if [ $# -eq 0 ]; then
  echo "compile_check: no files to check" >&2
  exit 1
fi
case "$arch" in
  x86_64) c_library=/usr/x86_64-linux-gnu/include; c_package=libc6-dev-amd64-cross ;;
  arm64) c_library=/usr/aarch64-linux-gnu/include; c_package=libc6-dev-arm64-cross ;;
  *) echo "compile_check: unknown CPU: $arch" >&2; exit 1 ;;
esac
if [ ! -f "$c_library/stdio.h" ]; then
  echo "compile_check: no C library headers for $arch in $c_library (Debian package $c_package)" >&2
  exit 1
fi
stubs=$(cd "$(dirname "$0")/stubs" && pwd)

# The compiler's include search list for the host, with libc++ as the C++ library.
search_list() {
  "$compiler" -x c++ -std=c++20 -stdlib=libc++ -E -v - </dev/null 2>&1 |
    sed -n '/^#include <...> search starts here:/,/^End of search list./p' | sed '1d;$d' | sed 's/^ *//'
}
mapfile -t host_dirs < <(search_list)
libcxx=()
for dir in "${host_dirs[@]}"; do
  case "$dir" in */c++/v1) [ -d "$dir" ] && libcxx+=(-isystem "$dir") ;; esac
done
if [ ${#libcxx[@]} -eq 0 ]; then
  echo "compile_check: $compiler finds no libc++ headers (Debian package libc++-dev)" >&2
  exit 1
fi
builtin_headers="$("$compiler" -print-resource-dir)/include"

# The third-party libraries' header folders, alone, so that a Linux-only header elsewhere in
# the host's include directory cannot satisfy an include.
libraries=$(mktemp -d)
trap 'rm -rf "$libraries"' EXIT
for name in gtest gmock benchmark nlohmann unicode; do
  for dir in "${host_dirs[@]}"; do
    if [ -d "$dir/$name" ]; then
      ln -s "$dir/$name" "$libraries/$name"
      break
    fi
  done
done

common=(
  -target "$arch-apple-macos12" -std=c++20 "${mode[@]}"
  -Wall -Wextra -Werror
  -nostdinc -nostdinc++
  -isystem "$stubs" "${libcxx[@]}" -isystem "$builtin_headers" -isystem "$libraries" -isystem "$c_library"
  # The Apple target predefines these as nullability keywords; glibc uses the same names
  # as attribute macros.
  -U__nonnull -U__nullable
  # glibc declares the locale-taking functions that libc++ calls (strtoll_l...) only as
  # GNU extensions; macOS declares them by default.
  -D_GNU_SOURCE
  "${includes[@]}"
)

failed=0
for file in "$@"; do
  case "$file" in
    *.mm) language=(-x objective-c++ -fobjc-arc -fblocks -fobjc-runtime=macosx-12.0) ;;
    *.cpp) language=(-x c++) ;;
    *) echo "compile_check: unknown kind of source: $file" >&2; failed=1; continue ;;
  esac
  if "$compiler" "${common[@]}" "${language[@]}" "${verify[@]}" "$file"; then
    echo "ok   $arch ${file#"$root"/}"
  else
    echo "FAIL $arch ${file#"$root"/}"
    failed=1
  fi
done
exit $failed

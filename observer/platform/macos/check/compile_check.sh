#!/usr/bin/env bash
# Type-checks macOS sources on a machine without a Mac SDK: clang compiles each file with
# -fsyntax-only for an x86_64 macOS 12 target against the declaration stubs beside this
# script, with the same warnings as the real build. The C++ standard library and C headers
# are the host's own, since only Apple's frameworks are missing here.
#
# Usage: compile_check.sh CLANG++ SOURCE_ROOT [--analyze] [--expect-diagnostics] FILE...
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
mode=(-fsyntax-only)
analyze=false
verify=()
while [ $# -gt 0 ]; do
  case "$1" in
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
stubs=$(cd "$(dirname "$0")/stubs" && pwd)

# The host compiler's own include directories (standard library, clang's, libc) in its
# order. An Apple target would look for an SDK instead, so they are passed explicitly.
host_includes=()
while IFS= read -r dir; do
  host_includes+=(-isystem "$dir")
done < <("$compiler" -x c++ -std=c++20 -E -v - </dev/null 2>&1 |
  sed -n '/^#include <...> search starts here:/,/^End of search list./p' | sed '1d;$d' | sed 's/^ *//')
if [ ${#host_includes[@]} -eq 0 ]; then
  echo "compile_check: cannot read the include directories of $compiler" >&2
  exit 1
fi

common=(
  -target x86_64-apple-macos12 -std=c++20 "${mode[@]}"
  -Wall -Wextra -Werror
  -nostdinc -isystem "$stubs" "${host_includes[@]}" -Wno-stdlibcxx-not-found
  # The Apple target predefines these as nullability keywords; the host's C library
  # uses the same names as attribute macros.
  -U__nonnull -U__nullable
  # What the host's C++ library expects of its C library, predefined for Linux targets.
  -D_GNU_SOURCE
  -I "$root"
)

failed=0
for file in "$@"; do
  case "$file" in
    *.mm) language=(-x objective-c++ -fobjc-arc -fblocks -fobjc-runtime=macosx-12.0) ;;
    *.cpp) language=(-x c++) ;;
    *) echo "compile_check: unknown kind of source: $file" >&2; failed=1; continue ;;
  esac
  if "$compiler" "${common[@]}" "${language[@]}" "${verify[@]}" "$file"; then
    echo "ok   ${file#"$root"/}"
  else
    echo "FAIL ${file#"$root"/}"
    failed=1
  fi
done
exit $failed

#!/usr/bin/env bash
# Usage: layering_test.sh COMPILER PROBE.cpp 'DIR;DIR...'
# Compiles PROBE.cpp with those include directories alone. A probe whose name says that
# something cannot be reached must fail for a missing header, and for nothing else; any
# other probe must compile.
set -euo pipefail
compiler=$1
probe=$2
IFS=';' read -r -a directories <<<"$3"
flags=(-std=c++20 -fsyntax-only)
for directory in "${directories[@]}"; do
  [ -n "$directory" ] && flags+=(-I "$directory")
done

if output=$("$compiler" "${flags[@]}" "$probe" 2>&1); then
  compiled=true
else
  compiled=false
fi
case "$(basename "$probe")" in
  *cannot*)
    if $compiled; then
      echo "layering: $probe compiled, but it includes a header its library keeps private" >&2
      exit 1
    fi
    if ! grep -q "fatal error: .*: No such file or directory" <<<"$output"; then
      echo "layering: $probe failed for another reason than a hidden header:" >&2
      echo "$output" >&2
      exit 1
    fi
    ;;
  *)
    if ! $compiled; then
      echo "layering: $probe did not compile:" >&2
      echo "$output" >&2
      exit 1
    fi
    ;;
esac

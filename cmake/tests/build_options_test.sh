#!/usr/bin/env bash
# Usage: build_options_test.sh SOURCE_DIR
# Configures the project once for every combination of the build options that the README
# offers, each in a scratch folder of its own, and fails when any combination does not
# configure and generate. It builds nothing: what each option builds is tested by the
# builds that use it.
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
tried=0
for testing in ON OFF; do
  for werror in ON OFF; do
    for benchmarks in AUTO ON OFF; do
      for replay in AUTO ON OFF; do
        for sanitize in OFF ON; do
          options=(-DBUILD_TESTING=$testing -DQUORVEL_WERROR=$werror -DQUORVEL_BENCHMARKS=$benchmarks
                   -DQUORVEL_REPLAY=$replay -DQUORVEL_SANITIZE=$sanitize)
          build="$scratch/$tried"
          tried=$((tried + 1))
          if ! output=$(cmake -S "$source_dir" -B "$build" -G Ninja "${options[@]}" 2>&1); then
            failures=$((failures + 1))
            echo "does not configure: ${options[*]}" >&2
            grep -A4 "CMake Error" <<<"$output" | head -12 >&2
          fi
          rm -rf "$build"
        done
      done
    done
  done
done
echo "$tried combinations, $failures failed"
[ "$failures" -eq 0 ]

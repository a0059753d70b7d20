#!/usr/bin/env bash
# Installs what is missing, builds everything three times with warnings as errors (plain;
# with AddressSanitizer and UndefinedBehaviorSanitizer; Release at -O3, where the
# optimiser brings warnings of its own) and runs every test in each build. The packaging
# test, which configures and builds the programs afresh in a folder of its own, runs once,
# in the Release build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh

# A short coverage-guided run of the scenario reader's fuzzer first (longer runs:
# scripts/fuzz.sh SECONDS), so that the test runs' summaries close the output.
scripts/fuzz.sh 60

jobs=$(nproc)
for config in plain sanitized release; do
  build="build-test-$config"
  options=(-DQUORVEL_WERROR=ON)
  ctest_options=()
  case "$config" in
    plain) ctest_options=(-LE packaging) ;;
    sanitized) options+=(-DQUORVEL_SANITIZE=ON) ;;
    release) options+=(-DCMAKE_BUILD_TYPE=Release) ;;
  esac
  echo "== $config build"
  cmake -S . -B "$build" -G Ninja "${options[@]}" >/dev/null
  cmake --build "$build" -j "$jobs"
  echo "== $config tests"
  ctest --test-dir "$build" --output-on-failure -j "$jobs" "${ctest_options[@]}"
done

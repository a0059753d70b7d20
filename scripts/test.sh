#!/usr/bin/env bash
# Installs what is missing, builds everything twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh

jobs=$(nproc)
for config in plain sanitized; do
  build="build-test-$config"
  sanitize=OFF
  [ "$config" = sanitized ] && sanitize=ON
  echo "== $config build"
  cmake -S . -B "$build" -G Ninja -DQUORVEL_SANITIZE="$sanitize" >/dev/null
  cmake --build "$build" -j "$jobs"
  echo "== $config tests"
  ctest --test-dir "$build" --output-on-failure -j "$jobs"
done

# A short coverage-guided run of the scenario reader's fuzzer (longer runs:
# scripts/fuzz.sh SECONDS).
scripts/fuzz.sh 60

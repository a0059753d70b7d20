#!/usr/bin/env bash
# Installs what building and running quorvel need, when missing (no test servers, no test
# libraries), builds quorvel alone and starts it against this machine's desktop session
# and sound server, as a host application would. Ctrl-C ends it (status 0).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh --run
cmake -S . -B build-run -G Ninja -DBUILD_TESTING=OFF -DQUORVEL_BENCHMARKS=OFF -DQUORVEL_REPLAY=OFF >/dev/null
cmake --build build-run --target quorvel
exec build-run/observer/quorvel

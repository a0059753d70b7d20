#!/usr/bin/env bash
# Installs what is missing, builds, and starts quorvel against this machine's desktop
# session and sound server, as a host application would. Ctrl-C ends it (status 0).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target quorvel
exec build/observer/quorvel

#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev libicu-dev nlohmann-json3-dev
  libc++-dev libc6-dev-amd64-cross libc6-dev-arm64-cross
  libpulse-dev libxcb1-dev libxcb-ewmh-dev libxcb-res0-dev
  xvfb openbox pulseaudio pulseaudio-utils
  nodejs python3 python3-jsonschema
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

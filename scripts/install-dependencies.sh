#!/usr/bin/env bash
# Installs the Debian packages that are missing.
#   scripts/install-dependencies.sh         what building, testing and the demo need
#   scripts/install-dependencies.sh --run   only what building and running quorvel need
set -euo pipefail

# Building and running quorvel (and sennick): the compiler, the build tools and the
# libraries of the Linux backend, which bring their run-time libraries with them.
packages=(
  build-essential cmake ninja-build pkg-config
  libicu-dev libpulse-dev libxcb1-dev libxcb-res0-dev
  nlohmann-json3-dev libwayland-dev libsystemd-dev
)
case "${1:-}" in
  --run) ;;
  "")
    packages+=(
      libgtest-dev                 # the tests
      libbenchmark-dev             # the benchmarks
      clang libclang-rt-dev        # type-checks and analyses the macOS sources; the fuzzer
      libc++-dev libc6-dev-amd64-cross libc6-dev-arm64-cross  # the Mac compile check's headers
      xvfb openbox pulseaudio      # private servers for the Linux tests and the demo
      pulseaudio-utils             # pactl, for the tests' server modules
      pipewire pipewire-bin pipewire-pulse wireplumber dbus-daemon  # the same tests on PipeWire
      firefox-esr chromium         # real browsers recording in the end-to-end tests
      sway xwayland                # a private Wayland session for the compositor tests
      kwin-wayland gnome-shell     # and the same on KDE Plasma's and GNOME's compositors
      wayland-protocols            # the tests' native Wayland windows
      mandoc                       # lints the manual pages
      dpkg-dev file                # the packaging test builds a .deb
      lintian                      # and checks it as Debian's own checker does
      nodejs python3 python3-jsonschema  # the host kit's tests and the event contracts
      python3-yaml                 # checks the macOS workflow file
      python3-setuptools           # builds the Python client's wheel in its tests
    )
    # The Node client's tests install TypeScript with npm. Node from Node's own packages
    # brings npm along; Debian's nodejs has it in a package of its own.
    command -v npm >/dev/null || packages+=(npm)
    ;;
  *)
    echo "usage: scripts/install-dependencies.sh [--run]" >&2
    exit 2
    ;;
esac

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# sway refuses to run as root: the compositor tests start it as this user.
if [ -z "${1:-}" ] && ! id quorvel-compositor >/dev/null 2>&1; then
  "${sudo_cmd[@]}" useradd --system --no-create-home --shell /usr/sbin/nologin quorvel-compositor
fi

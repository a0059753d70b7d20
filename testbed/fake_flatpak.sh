#!/usr/bin/env bash
# Usage: fake_flatpak.sh APP_ID COMMAND...
# Runs COMMAND as Flatpak runs an application, as far as a sound server and quorvel can
# tell: in a pid namespace of its own (COMMAND is pid 1 there), with a root whose
# /.flatpak-info names APP_ID, which is what PipeWire reads to tell a sandboxed client.
# Nothing is written to the real root: in a mount namespace of its own, a tmpfs on /mnt
# becomes the new root, with every other top-level folder of the real one bound into it.
# Needs root.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: fake_flatpak.sh APP_ID COMMAND..." >&2; exit 2; }
exec unshare --mount --propagation private --pid --fork --kill-child --mount-proc bash -c '
  set -euo pipefail
  app=$1; shift
  root=/mnt
  mount -t tmpfs -o mode=755 fake-flatpak "$root"
  for entry in /*; do
    name=${entry#/}
    case "$name" in proc|mnt) continue ;; esac
    if [ -L "$entry" ]; then
      ln -s "$(readlink "$entry")" "$root/$name"
    elif [ -d "$entry" ]; then
      mkdir "$root/$name"
      mount --rbind "$entry" "$root/$name"
    fi
  done
  mkdir "$root/proc"
  mount -t proc proc "$root/proc"
  printf "[Application]\nname=%s\nruntime=runtime/org.freedesktop.Platform/x86_64/23.08\n\n[Instance]\ninstance-id=1\n" \
    "$app" >"$root/.flatpak-info"
  cd /
  exec chroot "$root" "$@"
' fake-flatpak "$@"

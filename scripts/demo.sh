#!/usr/bin/env bash
# Plays a short meeting for quorvel on a machine without a desktop: installs what is
# missing, builds, starts a private X server (Xvfb), window manager (openbox) and sound
# server (PulseAudio with a virtual microphone), starts quorvel under a stand-in host
# application, and lets meeting_actor play a Zoom call and then a Google Meet in Chrome,
# while quorvel's event stream and diagnostic log scroll by. Everything it started is
# stopped on the way out, also on Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

actor=$PWD/build/observer/platform/linux/meeting_actor
quorvel=$PWD/build/observer/quorvel
work=$(mktemp -d)
started=()

cleanup() {
  trap - EXIT INT TERM
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    kill "${started[i]}" 2>/dev/null || true
  done
  wait "${started[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { printf '\n== %s\n' "$*"; }

wait_for() {  # wait_for SECONDS TEST...
  local tries=$(($1 * 10))
  shift
  until "$@"; do
    ((tries-- > 0)) || { echo "demo: gave up waiting for: $*" >&2; exit 1; }
    sleep 0.1
  done
}

# The X server picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>"$work/xvfb.log" &
started+=($!)
wait_for 10 grep -q . "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"

HOME=$work XDG_CONFIG_HOME=$work/config openbox --sm-disable >"$work/openbox.log" 2>&1 &
started+=($!)

mkdir -p "$work/pulse/state"
PULSE_RUNTIME_PATH=$work/pulse PULSE_STATE_PATH=$work/pulse/state HOME=$work \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit --log-target=stderr \
  -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
  -L "module-null-source source_name=mic0 channels=1" \
  -L "module-null-sink sink_name=spk0" 2>"$work/pulseaudio.log" &
started+=($!)
wait_for 10 test -S "$work/pulse/native"
export PULSE_SERVER=unix:$work/pulse/native

# The applications as a Linux desktop has them installed.
mkdir -p "$work/applications"
printf '[Desktop Entry]\nName=Zoom\nStartupWMClass=zoom\n' >"$work/applications/us.zoom.Zoom.desktop"
printf '[Desktop Entry]\nName=Google Chrome\n' >"$work/applications/google-chrome.desktop"
printf '[Desktop Entry]\nName=Text Editor\nStartupWMClass=Gedit\n' >"$work/applications/org.gnome.gedit.desktop"
export XDG_DATA_DIRS=$work XDG_DATA_HOME=$work/nothing

# play NAME: starts an actor reading commands from $work/NAME.in; `tell NAME COMMAND` drives it.
play() {
  mkfifo "$work/$1.in"
  "$actor" <"$work/$1.in" >"$work/$1.out" &
  started+=($!)
  eval "exec {fd_$1}>\"$work/$1.in\""
}
tell() {
  local fd="fd_$1"
  shift
  echo "$*" >&"${!fd}"
  sleep 0.3
}

say "starting quorvel under a stand-in host application (events and log follow)"
: >"$work/events"
: >"$work/log"
# tail ends with this script; sed then sees the end of its input.
tail --pid=$$ -n +1 -f "$work/events" | sed -u 's/^/  [events] /' &
tail --pid=$$ -n +1 -f "$work/log" | sed -u 's/^/  [log]    /' &
play host
tell host host "$quorvel" "$work/events" "$work/log"
sleep 2

say "a Zoom call: the Zoom window is in front and starts recording the microphone"
play zoom
tell zoom window zoom zoom Zoom Meeting
tell zoom activate
sleep 1
tell zoom record mic0
sleep 4
say "the call ends: Zoom stops recording and quits"
tell zoom stop
sleep 3
tell zoom quit

say "Chrome in the background records (its audio service is a child process) on a page that is no meeting"
play chrome
tell chrome window google-chrome Google-chrome Inbox - Google Chrome
play editor
tell editor window gedit Gedit notes.txt - Text Editor
tell editor activate
tell chrome record-child mic0
sleep 3
say "the tab turns into a Google Meet call"
tell chrome title Meet - abc-defg-hij - Google Chrome
sleep 3
say "the Meet call ends"
tell chrome stop
sleep 3

say "done; stopping everything the demo started"

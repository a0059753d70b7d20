#!/usr/bin/env bash
# Plays a short meeting for quorvel on a machine without a desktop: installs what is
# missing, builds, starts the tests' private desktop (testbed's private_desktop: Xvfb,
# openbox and PulseAudio with a virtual microphone), starts quorvel under a stand-in host
# application, and lets meeting_actor play a Zoom call and then a Google Meet in Chrome,
# while quorvel's event stream and diagnostic log scroll by. Everything it started is
# stopped on the way out, also on Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

actor=$PWD/build/testbed/meeting_actor
desktop=$PWD/build/testbed/private_desktop
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

# The desktop prints its addresses, then "ready"; it ends when its input does.
mkfifo "$work/desktop.in"
"$desktop" <"$work/desktop.in" >"$work/desktop.out" 2>"$work/desktop.log" &
started+=($!)
exec {desktop_input}>"$work/desktop.in"
wait_for 20 grep -qx ready "$work/desktop.out"
export DISPLAY=$(sed -n 's/^DISPLAY=//p' "$work/desktop.out")
export PULSE_SERVER=$(sed -n 's/^PULSE_SERVER=//p' "$work/desktop.out")

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

#!/usr/bin/env bash
# quorvel-replay --step: one tick for each line of standard input, on the scenario's
# clock, so that its bytes are those of the run without --step over as many ticks; on
# past the scenario's last tick in its last world; the end of the input (or a stop signal
# while it waits for a line) ends it with status 0 and nothing more written.
set -uo pipefail
replay=$1
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${stepped:-}" ] && kill "$stepped" 2>/dev/null' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# scenario NAME TICKS: a Zoom meeting from tick 1 to tick 601 (ten minutes), run for TICKS.
scenario() {
  cat >"$work/$1.json" <<JSON
{"observer": {"pid": 4000, "parentPid": 3000}, "clock": "09:00:00.000", "ticks": $2,
 "states": [
  {"fromTick": 0},
  {"fromTick": 1, "processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
   "audioProcesses": [{"id": 20, "pid": 700, "runningInput": true}],
   "apps": [{"name": "zoom.us", "pid": 700}], "frontmostPid": 700,
   "windows": [{"pid": 700, "title": "Zoom Meeting"}]},
  {"fromTick": 601, "audioProcesses": []}]}
JSON
}

# expect_as WHAT TICKS: the stepped run's streams and status (in $work/stepped.*) must be
# those of the same world's run without --step for TICKS ticks.
expect_as() {
  local what=$1 ticks=$2
  scenario reference "$ticks"
  "$replay" "$work/reference.json" >"$work/reference.out" 2>"$work/reference.err"
  cmp -s "$work/reference.out" "$work/stepped.out" || { fail "$what: standard output differs"; diff "$work/reference.out" "$work/stepped.out" | head; }
  cmp -s "$work/reference.err" "$work/stepped.err" || { fail "$what: standard error differs"; diff "$work/reference.err" "$work/stepped.err" | head; }
  [ "$(cat "$work/stepped.status")" = 0 ] || fail "$what: status $(cat "$work/stepped.status")"
}

# step NAME: runs NAME.json with --step on the standard input given to this function.
step() {
  "$replay" --step "$work/$1.json" >"$work/stepped.out" 2>"$work/stepped.err"
  echo $? >"$work/stepped.status"
}

scenario whole 602
yes '' | head -n 602 | step whole
expect_as "a ten-minute meeting in 602 lines" 602

yes '' | head -n 300 | step whole
expect_as "the input ending halfway through the meeting" 300

# Whatever a line holds, it is one tick, and a last line without a line feed is one too.
scenario short 31
{ printf 'tick\r\n%.0s' $(seq 29); printf 'last'; } | step short
expect_as "30 lines, the last one unterminated" 30

# Past the scenario's last tick the ticks go on in its last world, as with --realtime.
scenario one 1
yes '' | head -n 31 | step one
expect_as "31 lines for a scenario of one tick" 31

step whole </dev/null
expect_as "no input" 0
step whole <&-
expect_as "a closed standard input" 0

# A stop signal while the replay waits for its next line: status 0, nothing more.
mkfifo "$work/steps" "$work/events"
"$replay" --step "$work/whole.json" <"$work/steps" >"$work/events" 2>/dev/null &
stepped=$!
exec 3>"$work/steps" 4<"$work/events"
read -r first <&4 && read -r second <&4
echo >&3
read -r third <&4
kill -INT "$stepped"
wait "$stepped"
status=$?
stepped=
rest=$(cat <&4)
exec 3>&- 4<&-
[ "$first $second" = '{"event":"heartbeat"} {"event":"mic-mode","perProcess":true}' ] || fail "startup lines: $first $second"
[ "$third" = '{"event":"mic-active","app":"Zoom","pid":700,"title":"Zoom Meeting"}' ] || fail "tick 1: $third"
[ "$status" = 0 ] || fail "SIGINT while waiting for a line: status $status"
[ -z "$rest" ] || fail "written after SIGINT: $rest"

((failures == 0)) && echo "quorvel-replay --step ran a tick per line of input and wrote the bytes of the run without it"
((failures == 0))

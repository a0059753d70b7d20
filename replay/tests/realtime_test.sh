#!/usr/bin/env bash
# quorvel-replay --realtime keeps to the real clock and ends with status 0 on SIGINT, as
# quorvel does: two and a half seconds into a scenario whose meeting runs from tick 1 to
# tick 5, it has written the startup lines and the meeting's start but not its end, stamped
# with the real time of day.
set -uo pipefail
replay=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/meeting.json" <<'JSON'
{"observer": {"pid": 4000, "parentPid": 3000}, "clock": "01:02:03.004", "ticks": 1000,
 "states": [
  {"fromTick": 0},
  {"fromTick": 1, "processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
   "audioProcesses": [{"id": 20, "pid": 700, "runningInput": true}],
   "apps": [{"name": "zoom.us", "pid": 700}], "frontmostPid": 700},
  {"fromTick": 5}]}
JSON

"$replay" --realtime "$work/meeting.json" >"$work/out" 2>"$work/err" &
pid=$!
sleep 2.5
kill -INT "$pid"
wait "$pid"
status=$?

fail() { echo "FAIL: $*"; cat "$work/out" "$work/err"; exit 1; }
[ "$status" -eq 0 ] || fail "status $status"
expected=$'{"event":"heartbeat"}\n{"event":"mic-mode","perProcess":true}\n{"event":"mic-active","app":"Zoom","pid":700,"title":""}'
[ "$(cat "$work/out")" = "$expected" ] || fail "standard output differs"
grep -q '01:02:0' "$work/err" && fail "time stamps must be the real time of day"
[ "$(grep -c 'EMIT -> ' "$work/err")" -eq 1 ] || fail "one echo expected"
echo "realtime replay kept to the real clock and ended with status 0 on SIGINT"

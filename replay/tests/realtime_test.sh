#!/usr/bin/env bash
# quorvel-replay --realtime keeps to the real clock and ends with status 0 on SIGINT, as
# quorvel does, and, like quorvel, it keeps running after the scenario's last tick, with
# the world of that tick in force, until it is ended.
set -uo pipefail
replay=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A meeting that starts at tick 1 and ends at tick 5: two and a half seconds in, the
# startup lines and the meeting's start are out, not its end, stamped with the real time.
cat >"$work/meeting.json" <<'JSON'
{"observer": {"pid": 4000, "parentPid": 3000}, "clock": "01:02:03.004", "ticks": 1000,
 "states": [
  {"fromTick": 0},
  {"fromTick": 1, "processes": [{"pid": 700, "ppid": 1, "comm": "zoom.us"}],
   "audioProcesses": [{"id": 20, "pid": 700, "runningInput": true}],
   "apps": [{"name": "zoom.us", "pid": 700}], "frontmostPid": 700},
  {"fromTick": 5, "audioProcesses": []}]}
JSON

# One tick only, with a browser capturing the microphone and showing no meeting: each
# tick logs the candidate, so ticks 2 and 3 show that the replay goes on. The state from
# tick 2 lies beyond the last tick and never comes into force (it would start a meeting).
cat >"$work/after_last_tick.json" <<'JSON'
{"observer": {"pid": 4000, "parentPid": 3000}, "ticks": 1,
 "states": [
  {"fromTick": 0,
   "processes": [{"pid": 710, "ppid": 1, "comm": "Google Chrome"},
                 {"pid": 712, "ppid": 710, "comm": "Google Chrome He"}],
   "audioProcesses": [{"id": 31, "pid": 712, "runningInput": true}],
   "apps": [{"name": "Google Chrome", "bundleId": "com.google.Chrome", "pid": 710}],
   "windows": [{"pid": 710, "title": "Inbox"}]},
  {"fromTick": 2, "windows": [{"pid": 710, "title": "Meet – abc-defg-hij"}]}]}
JSON

"$replay" --realtime "$work/meeting.json" >"$work/meeting.out" 2>"$work/meeting.err" &
meeting=$!
"$replay" --realtime "$work/after_last_tick.json" >"$work/after.out" 2>"$work/after.err" &
after=$!

fail() { echo "FAIL: $*"; head -c 4000 "$work"/*.out "$work"/*.err; exit 1; }

sleep 2.5
kill -INT "$meeting"
wait "$meeting"
status=$?
[ "$status" -eq 0 ] || fail "meeting: status $status"
expected=$'{"event":"heartbeat"}\n{"event":"mic-mode","perProcess":true}\n{"event":"mic-active","app":"Zoom","pid":700,"title":""}'
[ "$(cat "$work/meeting.out")" = "$expected" ] || fail "meeting: standard output differs"
grep -q '01:02:0' "$work/meeting.err" && fail "meeting: time stamps must be the real time of day"
[ "$(grep -c 'EMIT -> ' "$work/meeting.err")" -eq 1 ] || fail "meeting: one echo expected"

sleep 1
kill -0 "$after" 2>/dev/null || fail "after the last tick: the replay ended by itself"
kill -INT "$after"
wait "$after"
status=$?
[ "$status" -eq 0 ] || fail "after the last tick: status $status"
expected=$'{"event":"heartbeat"}\n{"event":"mic-mode","perProcess":true}'
[ "$(cat "$work/after.out")" = "$expected" ] || fail "after the last tick: standard output differs"
candidates=$(grep -c '] fallback candidate: Google Chrome — "Inbox"$' "$work/after.err")
[ "$candidates" -ge 2 ] || fail "after the last tick: $candidates tick(s) logged, ticks must go on"
grep -q 'Meet' "$work/after.err" && fail "after the last tick: a state beyond the last tick came into force"
echo "realtime replay kept to the real clock, ran on after its last tick and ended with status 0 on SIGINT"

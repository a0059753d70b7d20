#!/usr/bin/env bash
# Starts the real quorvel, reads its first log line and first two events, sends SIGINT
# and checks that it ends with status 0 having written nothing more.
set -euo pipefail
quorvel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No sound server for this run: the mode is device-level.
PULSE_SERVER=unix:"$work"/none DISPLAY= "$quorvel" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do
  [ "$(wc -l <"$work/out")" -ge 2 ] && [ "$(wc -l <"$work/err")" -ge 1 ] && break
  sleep 0.05
done
sleep 1.5  # let a tick or two run
kill -INT "$pid"
status=0
wait "$pid" || status=$?

fail() { echo "FAIL: $*"; echo "--- stdout"; cat "$work/out"; echo "--- stderr"; cat "$work/err"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
expected_out=$'{"event":"heartbeat"}\n{"event":"mic-mode","perProcess":false}'
[ "$(cat "$work/out")" = "$expected_out" ] || fail "standard output differs"
[ "$(wc -l <"$work/err")" -eq 1 ] || fail "more than one log line"
grep -Eqx '\[([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\.[0-9]{3}\] mic detection: device-level fallback' "$work/err" \
  || fail "mode line differs"
echo "quorvel started, wrote its first lines and ended with status 0 on SIGINT"

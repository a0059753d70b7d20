#!/usr/bin/env bash
# Starts the real quorvel, reads its first log lines and first two events, sends SIGINT
# and checks that it ends with status 0 having written nothing more.
set -euo pipefail
quorvel=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No sound server for this run: the mode is device-level.
PULSE_SERVER=unix:"$work"/none DISPLAY= "$quorvel" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do
  [ "$(wc -l <"$work/out")" -ge 2 ] && [ "$(wc -l <"$work/err")" -ge 3 ] && break
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
# Why neither server could be reached, then the mode line, and nothing else.
stamp='\[([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\.[0-9]{3}\] '
[ "$(wc -l <"$work/err")" -eq 3 ] || fail "not three log lines"
sed -n 1p "$work/err" | grep -Eqx "${stamp}X server unreachable: DISPLAY is not set" || fail "X server line differs"
sed -n 2p "$work/err" | grep -Eqx "${stamp}sound server unreachable: no sound server at unix:$work/none \(Connection refused\)" \
  || fail "sound server line differs"
sed -n 3p "$work/err" | grep -Eqx "${stamp}mic detection: device-level fallback" || fail "mode line differs"
echo "quorvel started, wrote its first lines and ended with status 0 on SIGINT"

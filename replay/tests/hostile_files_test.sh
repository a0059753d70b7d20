#!/usr/bin/env bash
# quorvel-replay on files no scenario should be: each ends with status 2, nothing on
# standard output and one line on standard error, and a large well-formed file runs.
set -uo pipefail
replay=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

refuses() {  # FILE EXPECTED-LINE
  "$replay" "$1" >"$work/out" 2>"$work/err"
  local status=$?
  if [ "$status" -ne 2 ] || [ -s "$work/out" ] || [ "$(cat "$work/err")" != "$2" ]; then
    echo "FAIL: $1: status $status, standard error:"; head -c 1000 "$work/err"; echo; failed=1
  fi
}

limit="larger than the limit of 4194304 bytes (4 MiB)"
refuses /dev/zero "quorvel-replay: /dev/zero: $limit"
head -c 4194305 /dev/zero | tr '\0' ' ' >"$work/oversize.json"
refuses "$work/oversize.json" "quorvel-replay: $work/oversize.json: $limit"
{ printf '{"observer": {"pid": 1, "parentPid": 2}, "ticks": '; head -c 100000 /dev/zero | tr '\0' 9
  printf ', "states": [{"fromTick": 0}]}'; } >"$work/digits.json"
refuses "$work/digits.json" "quorvel-replay: $work/digits.json: number too large at line 1, column 51"

# Three quarters of the largest file allowed, one list of 100,000 windows, then a state
# that keeps them: it parses and runs (a parse whose time grew with the square of the
# list's length would take many minutes).
{
  printf '{"observer": {"pid": 4000, "parentPid": 3000}, "ticks": 2, "states": [{"fromTick": 0, "windows": ['
  for ((chunk = 0; chunk < 1000; ++chunk)); do
    printf '{"pid": 700, "title": "Inbox"},%.0s' {1..100}
  done
  printf '{"pid": 700, "title": "Inbox"}]}, {"fromTick": 1, "apps": []}]}'
} >"$work/large.json"
"$replay" "$work/large.json" >"$work/out" 2>"$work/err"
status=$?
if [ "$status" -ne 0 ] || [ "$(cat "$work/out")" != $'{"event":"heartbeat"}\n{"event":"mic-mode","perProcess":true}' ]; then
  echo "FAIL: large file: status $status"; head -c 1000 "$work/err"; failed=1
fi

[ "$failed" -eq 0 ] && echo "hostile files were refused with one line each; a large file ran"
exit "$failed"

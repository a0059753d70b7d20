#!/usr/bin/env bash
# Runs quorvel-replay on one scenario and compares standard output, standard error and
# the exit status with the files beside it: NAME.stdout, NAME.stderr and, when the status
# is not 0, NAME.status.
set -uo pipefail
replay=$1
scenario=$2
directory=$(dirname "$scenario")
name=$(basename "$scenario" .json)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$directory" || exit 1
# Under a Turkish machine locale, where "I" and "i" are different letters: the replay's
# text rules use the scenario's locale, never the machine's.
LC_ALL=tr_TR.UTF-8 LANG=tr_TR.UTF-8 "$replay" "$name.json" >"$work/stdout" 2>"$work/stderr"
status=$?
expected_status=0
[ -f "$name.status" ] && expected_status=$(cat "$name.status")

failed=0
if ! cmp -s "$work/stdout" "$name.stdout"; then
  echo "standard output differs:"; diff "$name.stdout" "$work/stdout"; failed=1
fi
if ! cmp -s "$work/stderr" "$name.stderr"; then
  echo "standard error differs:"; diff "$name.stderr" "$work/stderr"; failed=1
fi
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"; failed=1
fi
exit $failed

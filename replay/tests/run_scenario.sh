#!/usr/bin/env bash
# Runs quorvel-replay on one scenario and compares standard output, standard error and
# the exit status with the files beside it: NAME.stdout, NAME.stderr and, when the status
# is not 0, NAME.status. Then runs it again with --step, given one line of input for each
# of the scenario's ticks, which must write the same bytes and end with the same status.
set -uo pipefail
replay=$1
scenario=$2
directory=$(dirname "$scenario")
name=$(basename "$scenario" .json)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$directory" || exit 1
expected_status=0
[ -f "$name.status" ] && expected_status=$(cat "$name.status")
ticks=$(grep -ao '"ticks": *[0-9]*' "$name.json" | head -n 1 | grep -o '[0-9]*$')

failed=0
# check WHAT: compares the run's streams and status with the expected ones.
check() {
  if ! cmp -s "$work/stdout" "$name.stdout"; then
    echo "$1: standard output differs:"; diff "$name.stdout" "$work/stdout"; failed=1
  fi
  if ! cmp -s "$work/stderr" "$name.stderr"; then
    echo "$1: standard error differs:"; diff "$name.stderr" "$work/stderr"; failed=1
  fi
  if [ "$status" != "$expected_status" ]; then
    echo "$1: exit status $status, expected $expected_status"; failed=1
  fi
}

# Under a Turkish machine locale, where "I" and "i" are different letters: the replay's
# text rules use the scenario's locale, never the machine's.
LC_ALL=tr_TR.UTF-8 LANG=tr_TR.UTF-8 "$replay" "$name.json" >"$work/stdout" 2>"$work/stderr"
status=$?
check "$name"

yes '' | head -n "${ticks:-0}" >"$work/steps"
LC_ALL=tr_TR.UTF-8 LANG=tr_TR.UTF-8 "$replay" --step "$name.json" <"$work/steps" >"$work/stdout" 2>"$work/stderr"
status=$?
check "$name with --step and ${ticks:-0} lines of input"
exit $failed

#!/usr/bin/env bash
# quorvel-replay's --help and --version, byte for byte, each given alone (status 0, on
# standard output); beside a scenario or another option they are usage errors, and the
# usage error keeps quorvel-replay's own message and status 2.
set -uo pipefail
replay=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

usage='usage: quorvel-replay [--realtime | --step | --diagnose [--all-titles]] SCENARIO.json
       quorvel-replay --help | --version

Runs quorvel'\''s rules against the worlds that SCENARIO.json describes and writes what
quorvel would write: events on standard output, the log on standard error.

  --realtime  one tick a second on the real clock, on past the last tick until a
              stop signal; without it the ticks run at once on the scenario'\''s
              clock and the program ends
  --step      as --realtime, but one tick for each line read on standard input,
              on the scenario'\''s clock; the end of the input ends the program
  --diagnose  print quorvel'\''s diagnosis of the scenario'\''s first state as one JSON
              document, as quorvel --diagnose does, and exit; --all-titles gives
              every window title
  --help      print this help and exit
  --version   print the version and exit
'
usage_error=$'quorvel-replay: usage: quorvel-replay [--realtime | --step | --diagnose [--all-titles]] SCENARIO.json\n'

printf '%s' '{"observer": {"pid": 4000, "parentPid": 3000}, "ticks": 0, "states": [{"fromTick": 0}]}' \
  >"$work/quiet.json"

# expect STDOUT STDERR STATUS ARGUMENT...: the exact bytes of both streams and the status.
expect() {
  local out=$1 err=$2 status=$3
  shift 3
  (cd "$work" && timeout 5 "$replay" "$@" >"$work/out" 2>"$work/err")
  local got=$?
  printf '%s' "$out" >"$work/out.expected"
  printf '%s' "$err" >"$work/err.expected"
  if ! cmp -s "$work/out" "$work/out.expected" || ! cmp -s "$work/err" "$work/err.expected" || [ "$got" != "$status" ]; then
    echo "FAIL: quorvel-replay $*: status $got (expected $status)"
    diff "$work/out.expected" "$work/out" | sed 's/^/  stdout /'
    diff "$work/err.expected" "$work/err" | sed 's/^/  stderr /'
    failures=$((failures + 1))
  fi
}

expect "$usage" '' 0 --help
expect "quorvel-replay $version"$'\n' '' 0 --version
expect '' "$usage_error" 2 --help quiet.json
expect '' "$usage_error" 2 quiet.json --version
expect '' "$usage_error" 2 --realtime --help
expect '' "$usage_error" 2 --version --help
expect '' "$usage_error" 2 -h
expect '' "$usage_error" 2 --step --realtime quiet.json
expect '' "$usage_error" 2 --step --step quiet.json
expect '' "$usage_error" 2 --step
expect '' "$usage_error" 2 quiet.json quiet.json
expect '' "$usage_error" 2 --diagnose --step quiet.json
expect '' "$usage_error" 2 --realtime --diagnose quiet.json
expect '' "$usage_error" 2 --all-titles --diagnose quiet.json
expect '' "$usage_error" 2 --diagnose --all-titles --all-titles quiet.json
expect '' "$usage_error" 2 --diagnose
expect '' "$usage_error" 2

((failures == 0)) && echo "quorvel-replay answered --help, --version and usage errors exactly"
((failures == 0))

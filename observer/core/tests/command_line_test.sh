#!/usr/bin/env bash
# The real quorvel's command line, byte for byte: --help and --version answer on standard
# output with status 0, any other argument (but --diagnose, tested with the diagnosis) is
# a usage error on standard error with status 2, and none of them starts watching
# (nothing else is written, and it ends).
set -uo pipefail
quorvel=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

usage='usage: quorvel [--help | --version | --diagnose [--all-titles]]

Watches, once a second, whether a meeting application captures the microphone and
reports it to the host application that started it: one JSON event per line on
standard output, a time-stamped log on standard error. Runs until SIGINT, SIGTERM
or SIGHUP, or until its host ends, then exits with status 0.

  --help        print this help and exit
  --version     print the version and exit
  --diagnose    print what quorvel sees and would decide now as one JSON document
                for a bug report, and exit; window titles of applications that
                are no meeting application are given as their length only
  --all-titles  with --diagnose: give every window title
'

# expect STDOUT STDERR STATUS ARGUMENT...: the exact bytes of both streams and the status.
expect() {
  local out=$1 err=$2 status=$3
  shift 3
  # No display and no sound server: should quorvel start watching, it still ends, by
  # the timeout, and writes its heartbeat, which fails the comparison.
  DISPLAY= PULSE_SERVER=unix:"$work"/none timeout 5 "$quorvel" "$@" >"$work/out" 2>"$work/err"
  local got=$?
  printf '%s' "$out" >"$work/out.expected"
  printf '%s' "$err" >"$work/err.expected"
  if ! cmp -s "$work/out" "$work/out.expected" || ! cmp -s "$work/err" "$work/err.expected" || [ "$got" != "$status" ]; then
    echo "FAIL: quorvel $*: status $got (expected $status)"
    diff "$work/out.expected" "$work/out" | sed 's/^/  stdout /'
    diff "$work/err.expected" "$work/err" | sed 's/^/  stderr /'
    failures=$((failures + 1))
  fi
}

expect "$usage" '' 0 --help
expect "quorvel $version"$'\n' '' 0 --version
expect '' "quorvel: unexpected argument '--verbose'"$'\n'"$usage" 2 --verbose
expect '' "quorvel: unexpected argument '-h'"$'\n'"$usage" 2 -h
expect '' "quorvel: unexpected argument 'help'"$'\n'"$usage" 2 help
expect '' "quorvel: unexpected argument ''"$'\n'"$usage" 2 ''
# Each option is answered alone; a second argument is the error, whatever it is.
expect '' "quorvel: unexpected argument '--version'"$'\n'"$usage" 2 --help --version
expect '' "quorvel: unexpected argument 'extra'"$'\n'"$usage" 2 --version extra
expect '' "quorvel: unexpected argument '--verbose'"$'\n'"$usage" 2 --verbose --help
# --all-titles belongs to --diagnose, and nothing follows it.
expect '' "quorvel: unexpected argument '--all-titles'"$'\n'"$usage" 2 --all-titles
expect '' "quorvel: unexpected argument '--all-titles'"$'\n'"$usage" 2 --all-titles --diagnose
expect '' "quorvel: unexpected argument '--verbose'"$'\n'"$usage" 2 --diagnose --verbose
expect '' "quorvel: unexpected argument '--all-titles'"$'\n'"$usage" 2 --diagnose --all-titles --all-titles

((failures == 0)) && echo "quorvel answered --help, --version and usage errors exactly"
((failures == 0))

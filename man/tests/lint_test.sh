#!/usr/bin/env bash
# Every manual page passes `mandoc -T lint` at every level, style included. The one
# message let through is that a page refers to another of these pages, which mandoc
# looks for among the installed manuals only.
set -uo pipefail
mandoc=$1
shift
(($#)) || { echo "FAIL: no manual pages given"; exit 1; }

names=()
for page in "$@"; do
  names+=("$(basename "$page" .1)")
done
ours=$(IFS='|'; echo "${names[*]}")

status=0
for page in "$@"; do
  messages=$("$mandoc" -T lint "$page" 2>&1)
  remaining=$(grep -Ev "^mandoc: [^:]+:[0-9]+:[0-9]+: STYLE: referenced manual not found: Xr ($ours) 1( \([0-9]+ times\))?$" <<<"$messages")
  if [ -n "$remaining" ]; then
    echo "FAIL: $page"
    echo "$remaining"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "mandoc -T lint: ${names[*]} clean"
exit "$status"

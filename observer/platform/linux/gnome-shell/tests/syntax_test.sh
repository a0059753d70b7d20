#!/usr/bin/env bash
# Both editions of the GNOME Shell extension parse as what GNOME Shell loads them as: the
# edition for 42 to 44 as a script, the one for 45 and later as a module. Only the first
# runs in the tests' GNOME Shell (Debian 12's is 43); this is what can be checked of the
# other without a GNOME Shell 45.
set -euo pipefail
editions=$1
uuid=$2
node --check "$editions/42-44/$uuid/extension.js"
node --input-type=module --check <"$editions/45-and-later/$uuid/extension.js"
for edition in 42-44 45-and-later; do
  python3 -c 'import json, sys; m = json.load(open(sys.argv[1])); assert m["uuid"] == sys.argv[2], m' \
    "$editions/$edition/$uuid/metadata.json" "$uuid"
done

#!/usr/bin/env bash
# Sets up and builds the default preset, then runs the main job: lumeta on the example map, showing
# its table, one edit and its undo. It works on a temporary copy; examples/launch.xml stays as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh default

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/launch.xml "$work/launch.xml"
lumeta=(build/default/bin/lumeta --settings-dir "$work/settings" --today 2025-10-20 --locale en_US "$work/launch.xml")

echo "== The example map"
"${lumeta[@]}" -c 'show'
echo
echo "== Node 16 before, after 'set 16 Complete 100' and after 'undo'; then 'save'"
"${lumeta[@]}" -c 'text 16; set 16 Complete 100; text 16; undo; text 16; save'
echo
if cmp -s examples/launch.xml "$work/launch.xml"; then
  echo "== The saved copy is identical to examples/launch.xml: the undo left nothing behind."
else
  echo "== The saved copy differs from examples/launch.xml:"
  diff -u examples/launch.xml "$work/launch.xml" || true
fi

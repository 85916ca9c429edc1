#!/usr/bin/env bash
# Runs one acceptance case: lumeta on the case's script against a temporary map file, then compares
# standard output, standard error, the exit status and the saved map with what the case expects.
#
#   run.sh LUMETA CASE      CASE is the path without extension; its files:
#   CASE.lumeta  the script, run with -f; the map file is map.xml in the working folder
#   CASE.out     expected standard output (required)
#   CASE.err     expected standard error (without it, standard error must be empty)
#   CASE.status  expected exit status (default 0)
#   CASE.map     the map to start from, copied to map.xml (without it, map.xml does not exist)
#   CASE.args    further options, one a line, after the defaults (--today 2025-10-20 --locale en_US)
#   CASE.xml     fragments of map.xml after the run: blocks of lines separated by blank lines; a
#                block starting with "! " must not occur. Leading blanks do not count.
set -u
# Both absolute: lumeta runs in the working folder.
lumeta=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
case=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
name=$(basename "$case")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

fail() {
  echo "FAIL [$name]: $*"
  failed=1
}

# Drops each line's leading blanks, so fragments need not copy the file's indentation.
unindent() { sed -e 's/^[[:space:]]*//'; }

[[ -f $case.map ]] && cp "$case.map" "$work/map.xml"
args=(--settings-dir "$work/settings" --today 2025-10-20 --locale en_US)
if [[ -f $case.args ]]; then
  while IFS= read -r line; do [[ -n $line ]] && args+=("$line"); done <"$case.args"
fi

# The script runs from the working folder under its own name, which its errors print.
cp "$case.lumeta" "$work/$name.lumeta"
(cd "$work" && "$lumeta" "${args[@]}" map.xml -f "$name.lumeta" >stdout 2>stderr)
status=$?

expected_status=0
[[ -f $case.status ]] && expected_status=$(<"$case.status")
[[ $status == "$expected_status" ]] || fail "exit status $status, expected $expected_status"

if ! diff -u "$case.out" "$work/stdout" >"$work/diff"; then
  fail "standard output differs (- expected, + actual):"
  cat "$work/diff"
fi
if [[ -f $case.err ]]; then
  if ! diff -u "$case.err" "$work/stderr" >"$work/diff"; then
    fail "standard error differs (- expected, + actual):"
    cat "$work/diff"
  fi
elif [[ -s $work/stderr ]]; then
  fail "unexpected standard error:"
  cat "$work/stderr"
fi

if [[ -f $case.xml ]]; then
  if [[ ! -f $work/map.xml ]]; then
    fail "the script saved no map.xml"
  else
    saved=$(unindent <"$work/map.xml")
    check_block() {
      local block=$1 absent=0
      [[ -z $block ]] && return
      if [[ $block == '! '* ]]; then
        absent=1
        block=${block#! }
      fi
      if [[ $saved == *"$block"* ]]; then
        ((absent)) && fail "map.xml holds what it must not:"$'\n'"$block"
      else
        ((absent)) || fail "map.xml lacks:"$'\n'"$block"
      fi
    }
    block=""
    while IFS= read -r line || [[ -n $line ]]; do
      line=$(unindent <<<"$line")
      if [[ -z $line ]]; then
        check_block "$block"
        block=""
      elif [[ $line != '#'* ]]; then
        block+=${block:+$'\n'}$line
      fi
    done <"$case.xml"
    check_block "$block"
    ((failed)) && { echo "--- map.xml:"; cat "$work/map.xml"; }
  fi
fi
exit $failed

#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them for SECONDS in all (default 60), split between
# them: the map loader, with the map file's names as its dictionary (tests/fuzz/map.dict),
# starting from the example maps, the acceptance maps and the inputs of earlier findings
# (tests/data/fuzz); the task store's file reader, starting from
# tests/data/fuzz-tasks. A finding stops the run with status 1 and leaves its input in
# build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
map_seconds=$(( (seconds + 1) / 2 ))
task_seconds=$(( seconds - map_seconds ))

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

corpus=$(mktemp -d)
task_corpus=$(mktemp -d)
trap 'rm -rf "$corpus" "$task_corpus"' EXIT
cp examples/*.xml tests/acceptance/cases/*.map tests/data/fuzz/* "$corpus"/ 2>/dev/null || true
cp tests/data/fuzz-tasks/* "$task_corpus"/
mkdir -p build/fuzz/findings
# The earlier findings first, each on its own: they must all pass now.
if compgen -G "tests/data/fuzz/*" >/dev/null; then
  build/fuzz/bin/map_loader_fuzz tests/data/fuzz/*
fi
run() {
  local target=$1 dir=$2 time=$3
  shift 3
  local status=0
  "build/fuzz/bin/$target" "$dir" "$@" -max_total_time="$time" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix=build/fuzz/findings/ -print_final_stats=1 >"build/fuzz/$target.log" 2>&1 || status=$?
  # The finding's own words and input first: the stack below them is mostly libFuzzer's.
  grep -a -A 40 '^finding:' "build/fuzz/$target.log" | head -n 60 || true
  tail -n 12 "build/fuzz/$target.log"
  return "$status"
}
run map_loader_fuzz "$corpus" "$map_seconds" -dict=tests/fuzz/map.dict
if [ "$task_seconds" -gt 0 ]; then
  run task_file_fuzz "$task_corpus" "$task_seconds"
fi

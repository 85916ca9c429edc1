#!/usr/bin/env bash
# Builds the map-loader fuzz target with clang and runs it for SECONDS (default 60), starting from
# the example maps, the acceptance maps and the inputs of earlier findings (tests/data/fuzz). A
# finding stops the run with status 1 and leaves its input in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp examples/*.xml tests/acceptance/cases/*.map tests/data/fuzz/* "$corpus"/ 2>/dev/null || true
mkdir -p build/fuzz/findings
# The earlier findings first, each on its own: they must all pass now.
if compgen -G "tests/data/fuzz/*" >/dev/null; then
  build/fuzz/bin/map_loader_fuzz tests/data/fuzz/*
fi
build/fuzz/bin/map_loader_fuzz "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -artifact_prefix=build/fuzz/findings/ -print_final_stats=1 2>&1 | tail -n 25

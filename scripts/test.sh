#!/usr/bin/env bash
# Sets up, then builds and runs the whole test suite under the default and the asan preset, builds
# the Debian package and checks it unpacked, then fuzzes the map loader and the task file reader for
# a minute together; stops at the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
for preset in default asan; do
  echo "=== preset $preset ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "=== the Debian package ==="
deb=$(bash scripts/package.sh | tail -1)
bash tests/packaging/package_test.sh "$deb" "$PWD"
echo "=== fuzzing the map loader and the task file reader ==="
bash scripts/fuzz.sh 60

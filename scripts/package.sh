#!/usr/bin/env bash
# Sets up, builds the release preset's programs and libraries (nothing else) and makes the Debian
# package build/release/lumeta_VERSION_ARCH.deb; prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target lumeta_install_contents >&2
(cd build/release && cpack -G DEB >/dev/null)
ls -t build/release/lumeta_*.deb | head -1

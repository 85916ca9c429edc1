#!/usr/bin/env bash
# Sets up and builds the default preset, then runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh default
build/default/bin/lumeta plugins

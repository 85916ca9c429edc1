#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
bash "$(dirname "$0")/check_installed_tree.sh" "$prefix" "$2"

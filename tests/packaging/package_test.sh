#!/usr/bin/env bash
# Checks the Debian package without installing it: extracts it into a temporary root, checks the
# tree as installed there, and runs lintian, which must report no errors.
#   package_test.sh DEB SOURCE_DIR
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
bash "$(dirname "$0")/check_installed_tree.sh" "$root/usr" "$2"
dpkg-deb --field "$deb" Depends | grep -q 'libqt6widgets6' || { echo "FAIL: Depends lacks the Qt libraries" >&2; exit 1; }
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package $deb: ok"

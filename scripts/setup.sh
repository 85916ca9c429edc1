#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs (only those missing), then configures and builds
# the CMake preset given as the first argument, if any.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build g++
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  qt6-base-dev libpugixml-dev libical-dev python3-icalendar todoman
  libxkbcommon-dev fonts-dejavu-core locales
  clang libclang-rt-14-dev python3
  dpkg-dev lintian desktop-file-utils man-db shared-mime-info
  tj3 planner xsltproc poppler-utils
  radicale python3-caldav
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  sudo=()
  if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

if (($#)); then
  cmake --preset "$1"
  cmake --build --preset "$1"
fi

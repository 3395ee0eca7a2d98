#!/usr/bin/env bash
# Installs the Debian packages Tarnel needs to build, run and test.
# Idempotent and quiet when everything is there already.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev
  libsqlite3-dev sqlite3
  postgresql libpq-dev
  libgtest-dev googletest
  libchm-dev fp-utils
  dbus-daemon
  python3 python3-dbf python3-dbfread gdal-bin
  pxlib-dev
  libdbd-xbase-perl
  xvfb xauth
  survex
  desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

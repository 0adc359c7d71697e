#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarnwick need.
# Runs apt-get only when something is missing, so repeated calls are cheap.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  git  # .ci/run lists the tracked sources for the formatting check
  qt6-base-dev libgl-dev fonts-dejavu-core
  libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  clang-format  # .ci/run checks the formatting of every tracked source
  python3 python3-dbf gdal-bin python3-gdal
  locales
  dpkg-dev help2man  # scripts/package: the Debian package and tarnwick-export's manual page
  xvfb xdotool x11-apps x11-utils imagemagick  # scripts/xvfb-demo: display, input, xwd, xwininfo, screenshots
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

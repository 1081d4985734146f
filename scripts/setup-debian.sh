#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing, benchmarking and packaging Pellin needs.
# Safe to run again; runs as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang clang-format libclang-rt-dev
  libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev
  qt6-base-dev libgl-dev libxkbcommon-dev libxcb1-dev
  libplist-dev libplist-utils libexpat1-dev libssl-dev openssl libicu-dev
  python3 sudo pkexec xvfb xdotool x11-apps imagemagick procps util-linux
  dpkg-dev file lintian man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is installed"
  exit 0
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

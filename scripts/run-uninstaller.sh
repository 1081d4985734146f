#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the release preset and runs the Pellin uninstaller from the
# build tree. Arguments are passed on to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
program=build/release/bin/PellinUninstaller
if [ ! -x "$program" ]; then
  echo "run-uninstaller: the build did not produce $program" >&2
  exit 1
fi
exec "$program" "$@"

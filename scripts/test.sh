#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the debug preset with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset debug
cmake --build --preset debug
ctest --preset debug

#!/usr/bin/env bash
# Builds the Debian packages into build/package/packages: pellin-uninstaller,
# pellin-uninstaller-qt, libpellinlog1, libpellincommonframework1 and libpellin-dev.
# Install them with: apt install ./build/package/packages/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
# Debian's compiler and linker flags for packages, hardening included; CMake takes them from the
# environment when it first configures the build folder (and ignores CPPFLAGS).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
cmake --preset package
cmake --build --preset package
rm -f build/package/packages/*.deb
cpack --preset package
ls -l build/package/packages/*.deb

#!/usr/bin/env bash
# Builds the Debian packages into build/package/packages: pellin-uninstaller,
# pellin-uninstaller-qt, libpellinlog1, libpellincommonframework1 and libpellin-dev.
# Install them with: apt install ./build/package/packages/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
# Debian's compiler and linker flags for packages, hardening included, but without -g: no debug
# symbol packages are made, and libpellin-dev's static libraries would carry them all.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
flags() { dpkg-buildflags --get "$1"; }
cmake --preset package \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)"
cmake --build --preset package
rm -f build/package/packages/*.deb
cpack --preset package
ls -l build/package/packages/*.deb
